#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QString>

#include <zip.h>

#include <ctime>
#include <functional>
#include <sys/types.h>
#include <vector>

namespace quillory::zipdetail {

// Writes a zip archive entry after entry into a libzip source opened here for writing, with the
// headers, fields and directory libzip gives an archive it writes, and keeps of each entry only
// its directory record: libzip holds every entry's whole state until the archive is closed, about
// a kilobyte an entry, which for an account of a quarter of a million messages is hundreds of
// megabytes. Each entry's local header is written once as a placeholder and once more when its
// data is through, as libzip does, so the target must allow going back within the entry.
class SequentialZipWriter {
public:
    using Stopped = std::function<bool()>;
    // Told the share of the entries written, from 0 to 1.
    using Progress = std::function<void(double done)>;
    // The name of the entry added as the `index`th, asked again for the directory: the caller
    // keeps the names anyway.
    using NameOf = std::function<QByteArray(quint64 index)>;

    // `target` stays the caller's; `name` names the archive in messages.
    SequentialZipWriter(zip_source_t *target, QString name, quint64 entries, NameOf nameOf,
                        Stopped stopped, Progress progress);
    ~SequentialZipWriter();
    SequentialZipWriter(const SequentialZipWriter &) = delete;
    SequentialZipWriter &operator=(const SequentialZipWriter &) = delete;

    Result begin();
    // Adds the next entry, a folder, whose name ends with "/".
    Result addFolder(mode_t mode, time_t modified);
    // Reads `source` through and writes it as the next entry. The source gives its bytes as the
    // entry holds them and tells, once read, its size, CRC, method, time and encryption (see
    // `createFileEntrySource`); `sourcePath` names it in messages.
    Result addFile(zip_source_t *source, const QString &sourcePath);
    // Writes the directory and hands the archive over; without it nothing is committed.
    Result finish();

private:
    // What the directory needs of an entry besides its name.
    struct Written {
        quint64 offset = 0;
        quint64 compressedSize = 0;
        quint64 size = 0;
        quint32 crc = 0;
        quint32 externalAttributes = 0;
        quint16 dosTime = 0;
        quint16 dosDate = 0;
        quint16 method = ZIP_CM_STORE;
        bool aes = false;
        // The local header has room for 64-bit sizes whatever they turn out to be.
        bool forceZip64 = false;
    };
    Result writeHeader(const Written &entry, const QByteArray &name, bool local);
    Result write(const void *data, quint64 length);
    Result writeFailed();
    Result stoppedIfAsked() const;
    void advance(double withinEntry);

    zip_source_t *m_target;
    const QString m_name;
    const quint64 m_entries;
    const NameOf m_nameOf;
    const Stopped m_stopped;
    const Progress m_progress;
    std::vector<Written> m_written;
    quint64 m_position = 0;
    QByteArray m_buffer;
    bool m_begun = false;
    bool m_finished = false;
    bool m_zip64 = false;
};

} // namespace quillory::zipdetail
