#include "platform/zip/filepacker.h"

#include "platform/zip/compresseddata.h"
#include "platform/zip/fileentrysource.h"

#include <QFile>
#include <QThread>

#include <libdeflate.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace quillory::zipdetail {

namespace {

// Threads beyond the cores only take turns; each holds a whole file and its deflated copy.
constexpr int mostThreads = 4;
// Files a thread packs between two looks at the shared state.
constexpr size_t batchFiles = 8;

} // namespace

FilePacker::FilePacker(size_t count, std::function<QString(size_t index)> pathOf)
    : m_count(count), m_pathOf(std::move(pathOf)), m_results(count), m_done(count, false),
      m_awaited(count)
{
    const int threads = std::clamp(QThread::idealThreadCount(), 1, mostThreads);
    try {
        for (int i = 0; i < threads; ++i)
            m_threads.emplace_back([this] { work(); });
    } catch (const std::system_error &) {
        // Fewer threads read ahead; with none, there is no packer, and the files are read as
        // they are written.
        if (m_threads.empty())
            throw;
    }
}

FilePacker::~FilePacker()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_ready.notify_all();
        m_room.notify_all();
    }
    for (std::thread &thread : m_threads)
        thread.join();
}

bool FilePacker::roomAhead(size_t share) const
{
    return m_next < m_count && m_next < m_taken + aheadFiles / share &&
           m_readyBytes < aheadBytes / share;
}

std::unique_ptr<PackedFile> FilePacker::take(size_t index)
{
    std::unique_lock lock(m_mutex);
    if (index >= m_count || index < m_taken)
        return nullptr;
    for (size_t earlier = m_taken; earlier < index; ++earlier)
        if (m_results[earlier]) {
            m_readyBytes -= m_results[earlier]->packed.size();
            m_results[earlier].reset();
        }
    // Entries skipped over (folders) count as taken, so that the window moves on to this one.
    m_taken = index;
    if (!m_done[index]) {
        if (m_idle > 0 && roomAhead(1))
            m_room.notify_all();
        m_awaited = index;
        m_ready.wait(lock, [&] { return m_done[index] || m_stopping; });
        m_awaited = m_count;
    }
    std::unique_ptr<PackedFile> packed = std::move(m_results[index]);
    if (packed)
        m_readyBytes -= packed->packed.size();
    m_taken = index + 1;
    // Woken only once half the window is free again, not for every file taken: each waking
    // costs more than packing a small file.
    if (m_idle > 0 && roomAhead(2))
        m_room.notify_all();
    return packed;
}

void FilePacker::work()
{
    Buffers buffers;
    void *compressors[2] = {nullptr, nullptr};
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_stopping && !roomAhead(1)) {
            ++m_idle;
            m_room.wait(lock, [this] { return m_stopping || roomAhead(2); });
            --m_idle;
        }
        if (m_stopping)
            break;
        // A few files at a time: one lock for several small files, not one each.
        const size_t first = m_next;
        const size_t end = std::min({m_count, first + batchFiles, m_taken + aheadFiles});
        m_next = end;
        lock.unlock();
        std::unique_ptr<PackedFile> packed[batchFiles];
        quint64 batchBytes = 0;
        // Past its share of the window, the rest of the batch is left to the entries themselves
        // to read, so that a batch of large files cannot hold much memory.
        for (size_t index = first; index < end && batchBytes < aheadBytes / 4; ++index) {
            try {
                const QString path = m_pathOf(index);
                if (!path.isEmpty()) {
                    packed[index - first] = pack(path, buffers, compressors);
                    batchBytes += packed[index - first]->packed.size();
                }
            } catch (const std::bad_alloc &) {
                packed[index - first].reset(new (std::nothrow) PackedFile);
                buffers = {};
                if (packed[index - first])
                    packed[index - first]->error = ENOMEM;
            }
        }
        lock.lock();
        for (size_t index = first; index < end; ++index) {
            if (index >= m_taken && packed[index - first]) {
                m_readyBytes += packed[index - first]->packed.size();
                m_results[index] = std::move(packed[index - first]);
            }
            m_done[index] = true;
        }
        if (m_awaited >= first && m_awaited < end)
            m_ready.notify_one();
    }
    lock.unlock();
    for (void *compressor : compressors)
        if (compressor)
            libdeflate_free_compressor(static_cast<libdeflate_compressor *>(compressor));
}

std::unique_ptr<PackedFile> FilePacker::pack(const QString &path, Buffers &buffers,
                                             void *compressors[2])
{
    auto packed = std::make_unique<PackedFile>();
    // Not blocking, so that a file swapped for a pipe since it was listed cannot hang the run.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        packed->error = errno;
        return packed;
    }
    const auto closing = [fd] { ::close(fd); };
    const int statError = ::fstat(fd, &packed->st) != 0 ? errno
                          : S_ISREG(packed->st.st_mode) ? 0
                                                        : EINVAL;
    if (statError != 0) {
        packed->error = statError;
        closing();
        return packed;
    }
    const size_t limit = EntryWorkspace::wholeFileLimit;
    if (quint64(packed->st.st_size) >= limit) {
        closing();
        return packed;
    }
    // Not cleared first: only the pages a file fills take memory.
    if (!buffers.file)
        buffers.file.reset(new uint8_t[limit]);
    uint8_t *buffer = buffers.file.get();
    size_t got = 0;
    while (got < limit) {
        const ssize_t n = ::read(fd, buffer + got, limit - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            packed->error = errno;
            closing();
            return packed;
        }
        if (n == 0)
            break;
        got += size_t(n);
    }
    closing();
    // Grown since it was looked at: its entry streams it.
    if (got == limit)
        return packed;
    const int level = wholeFileDeflateLevel(buffer, got);
    void *&compressor = compressors[level == fastDeflateLevel ? 0 : 1];
    if (!compressor)
        compressor = libdeflate_alloc_compressor(level);
    if (!compressor) {
        packed->error = ENOMEM;
        return packed;
    }
    const size_t bound = libdeflate_deflate_compress_bound(nullptr, limit);
    if (!buffers.packed)
        buffers.packed.reset(new uint8_t[bound]);
    const size_t size = libdeflate_deflate_compress(
        static_cast<libdeflate_compressor *>(compressor), buffer, got, buffers.packed.get(), bound);
    if (size == 0) {
        packed->error = ENOMEM;
        return packed;
    }
    packed->packed.assign(buffers.packed.get(), buffers.packed.get() + size);
    packed->crc = libdeflate_crc32(0, buffer, got);
    packed->size = got;
    packed->whole = true;
    return packed;
}

} // namespace quillory::zipdetail
