#include "platform/zip/nestedarchive.h"

#include "platform/zip/aesdecryption.h"
#include "platform/zip/seekablesource.h"

#include <QByteArray>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace quillory::zipdetail {

namespace {

// The nested archive as a seekable libzip source over the outer entry's raw data.
struct NestedSource {
    EntryFileHandle raw;
    quint64 dataStart = 0;
    quint64 total = 0;
    quint64 position = 0;
    quint64 rawPosition = 0;
    std::optional<WinZipAesDecryptor> decryptor;
    zip_error_t error{};
    // The bytes from `bufferStart` on, decrypted, for small reads.
    static constexpr quint64 readAhead = 64 * 1024;
    QByteArray buffer;
    quint64 bufferStart = 0;

    quint64 size() const { return total; }

    zip_int64_t fail(zip_error_t *cause)
    {
        zip_error_set(&error, zip_error_code_zip(cause), zip_error_code_system(cause));
        return -1;
    }

    zip_int64_t read(char *data, zip_uint64_t wanted)
    {
        const quint64 length = std::min<quint64>(wanted, size() - position);
        if (length == 0)
            return 0;
        if (length > readAhead / 4) {
            if (!readRaw(position, data, length))
                return -1;
        } else {
            // libzip reads a directory too large for its first read entry by entry, each a few
            // dozen bytes: read one by one from the outer file, each would cost a seek and more.
            if (position < bufferStart || position + length > bufferStart + buffer.size()) {
                buffer.resize(qsizetype(std::min<quint64>(readAhead, size() - position)));
                if (!readRaw(position, buffer.data(), quint64(buffer.size()))) {
                    buffer.clear();
                    return -1;
                }
                bufferStart = position;
            }
            std::copy_n(buffer.constData() + (position - bufferStart), length, data);
        }
        position += length;
        return zip_int64_t(length);
    }

    // Reads `length` bytes of the nested archive from `at`, decrypted.
    bool readRaw(quint64 at, char *data, quint64 length)
    {
        if (rawPosition != dataStart + at) {
            if (zip_fseek(raw.get(), zip_int64_t(dataStart + at), SEEK_SET) != 0) {
                fail(zip_file_get_error(raw.get()));
                return false;
            }
            rawPosition = dataStart + at;
        }
        for (quint64 done = 0; done < length;) {
            const zip_int64_t got = zip_fread(raw.get(), data + done, length - done);
            if (got < 0) {
                fail(zip_file_get_error(raw.get()));
                return false;
            }
            if (got == 0) {
                zip_error_set(&error, ZIP_ER_EOF, 0);
                return false;
            }
            done += quint64(got);
            rawPosition += quint64(got);
        }
        if (decryptor)
            decryptor->decrypt(at, reinterpret_cast<uint8_t *>(data), size_t(length));
        return true;
    }
};

Result unreadable(const EntryInfo &entry, const QString &why)
{
    return Result::failure(
        QStringLiteral("The nested archive \"%1\" cannot be read: %2").arg(entry.name, why));
}

} // namespace

bool readableInPlace(const EntryInfo &entry)
{
    return entry.kind == EntryInfo::Kind::File && entry.compressionMethod == ZIP_CM_STORE &&
           (!entry.encrypted() || entry.winZipAes());
}

Expected<SourceHandle> openNestedSource(zip_t *outer, const EntryInfo &entry,
                                        const QByteArray &password)
{
    if (!readableInPlace(entry))
        return unreadable(entry, QStringLiteral("it is compressed or encrypted otherwise"));
    const bool aes = entry.winZipAes();
    auto source = std::make_unique<NestedSource>();
    source->raw.reset(
        zip_fopen_index(outer, entry.index, ZIP_FL_COMPRESSED | (aes ? ZIP_FL_ENCRYPTED : 0)));
    if (!source->raw)
        return unreadable(entry, archiveErrorText(outer));
    source->total = entry.size;
    if (aes) {
        const Expected<WinZipAesKeys> keys = readWinZipAesKeys(source->raw.get(), entry, password);
        if (!keys)
            return keys.result();
        source->decryptor.emplace(keys->encryption);
        source->dataStart = winZipAesHeaderLength(entry.encryptionMethod);
        source->rawPosition = source->dataStart;
    }

    zip_error_t error;
    zip_error_init(&error);
    SourceHandle nested(createSeekableSource(std::move(source), &error));
    const QString why = zipErrorText(&error);
    zip_error_fini(&error);
    if (!nested)
        return unreadable(entry, why);
    return nested;
}

} // namespace quillory::zipdetail
