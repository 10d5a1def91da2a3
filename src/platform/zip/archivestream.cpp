#include "platform/zip/archivestream.h"

#include "platform/runownedname.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quillory::zipdetail {

namespace {

// Released bytes go to the reader in pieces of about this size, not entry by entry: most entries
// of a mail store are a few hundred bytes.
constexpr qsizetype publishSize = 256 * 1024;

// A file no one can open by name, gone with the run however it ends; one named and removed at
// once where the file system has no unnamed files.
int openSpillFile(const QString &beside)
{
    const QFileInfo target(beside);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    const int unnamed = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (unnamed >= 0)
        return unnamed;
    const QByteArray named = QFile::encodeName(target.absoluteFilePath() +
                                               QStringLiteral(".quillory-") + runOwnedSuffix());
    const int fd = ::open(named.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::unlink(named.constData());
    return fd;
}

} // namespace

ArchiveStream::ArchiveStream(QString spillBeside, std::function<void()> waiting)
    : m_spillBeside(std::move(spillBeside)), m_waiting(std::move(waiting))
{
    zip_error_init(&m_error);
}

ArchiveStream::~ArchiveStream()
{
    if (m_spill >= 0)
        ::close(m_spill);
    zip_error_fini(&m_error);
}

qint64 ArchiveStream::read(char *data, size_t length)
{
    std::unique_lock lock(m_mutex);
    const auto readable = [this] { return m_readyBytes > 0 || m_finished || m_abandoned; };
    while (!m_changed.wait_for(lock, waitingTick, readable))
        if (m_waiting) {
            lock.unlock();
            m_waiting();
            lock.lock();
        }
    if (m_abandoned || (m_readyBytes == 0 && !m_failure.isEmpty()))
        return -1;
    size_t done = 0;
    while (done < length && !m_ready.empty()) {
        const QByteArray &front = m_ready.front();
        const size_t count = std::min(length - done, size_t(front.size() - m_readAt));
        std::memcpy(data + done, front.constData() + m_readAt, count);
        done += count;
        m_readAt += qsizetype(count);
        if (m_readAt == front.size()) {
            m_readyBytes -= front.size();
            m_ready.pop_front();
            m_readAt = 0;
        }
    }
    m_changed.notify_all();
    return qint64(done);
}

void ArchiveStream::abandon()
{
    const std::lock_guard lock(m_mutex);
    m_abandoned = true;
    m_ready.clear();
    m_readyBytes = 0;
    m_changed.notify_all();
}

bool ArchiveStream::abandoned() const
{
    const std::lock_guard lock(m_mutex);
    return m_abandoned;
}

QString ArchiveStream::failure() const
{
    const std::lock_guard lock(m_mutex);
    return m_failure;
}

zip_source_t *ArchiveStream::source(zip_error_t *error)
{
    return zip_source_function_create(call, this, error);
}

bool ArchiveStream::writeRaw(const QByteArray &bytes)
{
    m_out.append(bytes);
    return publish(m_out);
}

void ArchiveStream::finish(const Result &written)
{
    if (written)
        publish(m_out);
    const std::lock_guard lock(m_mutex);
    // Once the reader has given up, the writer's failure is only its consequence.
    if (!written && !m_abandoned)
        m_failure = written.message();
    m_finished = true;
    m_changed.notify_all();
}

zip_int64_t ArchiveStream::fail(int zipError, int systemError)
{
    zip_error_set(&m_error, zipError, systemError);
    return -1;
}

zip_int64_t ArchiveStream::call(void *state, void *data, zip_uint64_t length,
                                zip_source_cmd_t command)
{
    auto *self = static_cast<ArchiveStream *>(state);
    switch (command) {
    case ZIP_SOURCE_STAT: {
        // A new archive: nothing to read back.
        if (length < sizeof(zip_stat_t))
            return self->fail(ZIP_ER_INVAL);
        auto *st = static_cast<zip_stat_t *>(data);
        zip_stat_init(st);
        st->valid |= ZIP_STAT_SIZE;
        st->size = 0;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_BEGIN_WRITE:
        self->m_position = self->m_end = self->m_heldStart = 0;
        self->m_held.clear();
        // Its room, not its pages: taken only as far as the largest entry fills it.
        self->m_held.reserve(heldInMemory);
        return 0;
    case ZIP_SOURCE_WRITE:
        return self->write(static_cast<const char *>(data), size_t(length));
    case ZIP_SOURCE_SEEK_WRITE:
        return self->seek(data, length);
    case ZIP_SOURCE_TELL_WRITE:
        return zip_int64_t(self->m_position);
    case ZIP_SOURCE_COMMIT_WRITE:
        return self->release() && self->publish(self->m_out) ? 0 : self->fail(ZIP_ER_WRITE);
    case ZIP_SOURCE_ROLLBACK_WRITE:
    case ZIP_SOURCE_REMOVE:
    case ZIP_SOURCE_OPEN:
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_READ:
        return 0;
    case ZIP_SOURCE_SEEK:
    case ZIP_SOURCE_TELL:
        return 0;
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&self->m_error, data, length);
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(
            ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR,
            ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_BEGIN_WRITE,
            ZIP_SOURCE_COMMIT_WRITE, ZIP_SOURCE_ROLLBACK_WRITE, ZIP_SOURCE_WRITE,
            ZIP_SOURCE_SEEK_WRITE, ZIP_SOURCE_TELL_WRITE, ZIP_SOURCE_REMOVE, ZIP_SOURCE_SUPPORTS,
            -1);
    default:
        return self->fail(ZIP_ER_OPNOTSUPP);
    }
}

zip_int64_t ArchiveStream::write(const char *data, size_t length)
{
    // The writer goes back no further than the entry it is writing, which is held.
    if (m_position < m_heldStart)
        return fail(ZIP_ER_INTERNAL);
    for (size_t done = 0; done < length;) {
        const quint64 at = m_position - m_heldStart;
        size_t count = length - done;
        if (at < quint64(heldInMemory)) {
            count = std::min<size_t>(count, size_t(quint64(heldInMemory) - at));
            if (at + count > quint64(m_held.size()))
                m_held.resize(qsizetype(at + count));
            std::memcpy(m_held.data() + at, data + done, count);
        } else if (!writeSpilled(data + done, count, at - quint64(heldInMemory))) {
            return fail(ZIP_ER_WRITE, errno);
        }
        done += count;
        m_position += count;
    }
    m_end = std::max(m_end, m_position);
    return zip_int64_t(length);
}

zip_int64_t ArchiveStream::seek(void *data, zip_uint64_t length)
{
    const zip_int64_t to =
        zip_source_seek_compute_offset(m_position, m_end, data, length, &m_error);
    if (to < 0)
        return -1;
    if (quint64(to) < m_heldStart)
        return fail(ZIP_ER_SEEK, EINVAL);
    // Back to an entry's header and then on to the end again: the entry is final.
    if (quint64(to) < m_end)
        m_rewound = true;
    else if (m_rewound && !release())
        return fail(ZIP_ER_WRITE);
    m_position = quint64(to);
    return 0;
}

// A directory comes record by record: the pieces gather before they go to the file.
bool ArchiveStream::writeSpilled(const char *data, size_t length, quint64 at)
{
    if (at != m_spillBufferAt + quint64(m_spillBuffer.size()) ||
        m_spillBuffer.size() + qsizetype(length) > publishSize)
        if (!flushSpilled())
            return false;
    if (m_spillBuffer.isEmpty())
        m_spillBufferAt = at;
    m_spillBuffer.append(data, qsizetype(length));
    return true;
}

bool ArchiveStream::flushSpilled()
{
    if (m_spillBuffer.isEmpty())
        return true;
    if (m_spill < 0 && (m_spill = openSpillFile(m_spillBeside)) < 0)
        return false;
    const char *data = m_spillBuffer.constData();
    size_t length = size_t(m_spillBuffer.size());
    quint64 at = m_spillBufferAt;
    while (length > 0) {
        const ssize_t written = ::pwrite(m_spill, data, length, off_t(at));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        length -= size_t(written);
        at += quint64(written);
    }
    m_spillBuffer.truncate(0);
    return true;
}

// Hands on every byte written so far.
bool ArchiveStream::release()
{
    m_rewound = false;
    const quint64 heldBytes = m_end - m_heldStart;
    for (qsizetype at = 0; at < m_held.size();) {
        const qsizetype count = std::min(publishSize - m_out.size(), m_held.size() - at);
        m_out.append(m_held.constData() + at, count);
        at += count;
        if (m_out.size() >= publishSize && !publish(m_out))
            return false;
    }
    // Truncated, not freed: the next entry fills the same room.
    m_held.truncate(0);
    if (!flushSpilled())
        return false;
    for (quint64 at = 0; at + quint64(heldInMemory) < heldBytes;) {
        const qsizetype count = qsizetype(std::min<quint64>(
            quint64(publishSize - m_out.size()), heldBytes - quint64(heldInMemory) - at));
        const qsizetype before = m_out.size();
        m_out.resize(before + count);
        const ssize_t got = ::pread(m_spill, m_out.data() + before, size_t(count), off_t(at));
        m_out.truncate(before + std::max<qsizetype>(got, 0));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        at += quint64(got);
        if (m_out.size() >= publishSize && !publish(m_out))
            return false;
    }
    if (m_spill >= 0 && ::ftruncate(m_spill, 0) != 0)
        return false;
    m_heldStart = m_end;
    return true;
}

bool ArchiveStream::publish(QByteArray &bytes)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_readyBytes < readyLimit || m_abandoned; });
    if (m_abandoned)
        return false;
    if (!bytes.isEmpty()) {
        m_readyBytes += bytes.size();
        m_ready.push_back(std::move(bytes));
        bytes = QByteArray();
        bytes.reserve(publishSize);
    }
    m_changed.notify_all();
    return true;
}

} // namespace quillory::zipdetail
