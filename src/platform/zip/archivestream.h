#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QString>

#include <zip.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace quillory::zipdetail {

// The bytes of a zip archive that `SequentialZipWriter` writes on one thread, handed in order to a
// reader on another, with no file of their own: a nested archive goes straight into the archive
// that holds it. The writer goes back to an entry's local header once the entry's data is
// written; the entry is
// held until then, in memory up to `heldInMemory` and beyond that in an unnamed file beside the
// archive that takes the stream in, which must hold these bytes anyway (never the temporary
// folder, which may live in memory). Memory stays bounded whatever the size of an entry.
class ArchiveStream {
public:
    static constexpr qsizetype heldInMemory = 2 * 1024 * 1024;
    // Bytes released and not yet read: the writer waits beyond this.
    static constexpr qsizetype readyLimit = 2 * 1024 * 1024;
    static constexpr std::chrono::milliseconds waitingTick{250};

    // `spillBeside` is the archive that takes the stream in; `waiting` is called on the reader's
    // thread every `waitingTick` while it waits for bytes.
    explicit ArchiveStream(QString spillBeside, std::function<void()> waiting = {});
    ~ArchiveStream();
    ArchiveStream(const ArchiveStream &) = delete;
    ArchiveStream &operator=(const ArchiveStream &) = delete;

    // Reader: the next bytes, at most `length`; 0 at the end, -1 once the writer failed (see
    // `failure`) or the reader gave up.
    qint64 read(char *data, size_t length);
    // Reader: gives up; the writer's writes fail from now on.
    void abandon();
    bool abandoned() const;
    // Why the writer failed before the reader gave up; empty when it did not.
    QString failure() const;

    // Writer: a libzip source to open the archive with (`zip_open_from_source` with
    // `ZIP_CREATE | ZIP_TRUNCATE`); it stays this stream's, whatever libzip does with it.
    zip_source_t *source(zip_error_t *error);
    // Writer: bytes written as they are, for an archive libzip does not write (an empty one).
    bool writeRaw(const QByteArray &bytes);
    // Writer: done, with the archive whole or with the reason it is not.
    void finish(const Result &written);

private:
    static zip_int64_t call(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t fail(int zipError, int systemError = 0);
    zip_int64_t write(const char *data, size_t length);
    zip_int64_t seek(void *data, zip_uint64_t length);
    bool writeSpilled(const char *data, size_t length, quint64 at);
    bool flushSpilled();
    bool release();
    bool publish(QByteArray &bytes);

    const QString m_spillBeside;
    const std::function<void()> m_waiting;

    // The writer's own.
    zip_error_t m_error;
    quint64 m_position = 0;
    quint64 m_end = 0;
    quint64 m_heldStart = 0;
    bool m_rewound = false;
    QByteArray m_held;
    int m_spill = -1;
    QByteArray m_spillBuffer;
    quint64 m_spillBufferAt = 0;
    QByteArray m_out;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_ready;
    qsizetype m_readyBytes = 0;
    qsizetype m_readAt = 0;
    bool m_finished = false;
    bool m_abandoned = false;
    QString m_failure;
};

} // namespace quillory::zipdetail
