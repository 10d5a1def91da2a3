#pragma once

#include "platform/result.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <sys/types.h>

#include <zip.h>

namespace quillory::zipdetail {

// What the archive says about one entry, enough to decide whether and where it may be written.
struct EntryInfo {
    enum class Kind { File, Folder, SymbolicLink, Special };

    zip_uint64_t index = 0;
    QString name;
    Kind kind = Kind::File;
    quint64 size = 0;
    quint64 compressedSize = 0;
    QDateTime modified;
    zip_uint16_t encryptionMethod = ZIP_EM_NONE;
    zip_int32_t compressionMethod = ZIP_CM_STORE;
    // The CRC of the data, when the archive gives one: libzip gives none for AE-2 entries.
    std::optional<zip_uint32_t> crc;
    // A WinZip AES entry with its CRC field at 0, as the AE-2 variant writes it: only the
    // authentication code vouches for its data.
    bool withoutCrc = false;
    // The permission bits a Unix archiver stored for a file (never set-id or sticky bits); none
    // for archives made on Windows.
    std::optional<mode_t> permissions;

    bool encrypted() const { return encryptionMethod != ZIP_EM_NONE; }
    bool winZipAes() const
    {
        return encryptionMethod == ZIP_EM_AES_128 || encryptionMethod == ZIP_EM_AES_192 ||
               encryptionMethod == ZIP_EM_AES_256;
    }
};

// The entry's name as text: UTF-8 when its bytes are, else in the legacy code page, since
// programs on Windows write names in their ANSI code page without marking them.
QString entryName(zip_t *archive, zip_uint64_t index);

// Fails for an entry that cannot be read at all, such as one under PKWARE's strong encryption.
Expected<EntryInfo> readEntryInfo(zip_t *archive, zip_uint64_t index);

// Refuses an archive whose entries' stored data add up to more than the `archiveSize` bytes it
// has: their data overlap, the way a small archive is made to claim endless data. `stored` holds
// the sum so far, for an archive read in parts.
Result checkStoredSizes(zip_t *archive, quint64 archiveSize, quint64 *stored);

// The kind as a phrase for messages: "a folder", "a symbolic link", ...
QString kindText(EntryInfo::Kind kind);

// The name of a zip compression method, for messages.
QString compressionMethodName(zip_int32_t method);
// Refuses an entry compressed by a method this build cannot read, saying that the archive itself
// may be sound: a method is no damage.
Result checkReadableMethod(const EntryInfo &entry);

// Why an entry's data cannot be read; an encrypted entry's may also be a wrong password.
Result unreadableEntry(const EntryInfo &entry, const QString &why);

// libzip's text for the archive's current error.
QString archiveErrorText(zip_t *archive);
// libzip's text for an error, given as itself or by its code.
QString zipErrorText(zip_error_t *error);
QString zipErrorText(int code);

} // namespace quillory::zipdetail
