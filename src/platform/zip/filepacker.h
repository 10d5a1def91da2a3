#pragma once

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace quillory::zipdetail {

// A file read and deflated whole, ahead of the archive that takes it in.
struct PackedFile {
    // Set: the file could not be read; errno's value, or ENOMEM.
    int error = 0;
    // Not set: the file is larger than the whole-file limit, and its entry reads it itself.
    bool whole = false;
    struct stat st {};
    uint32_t crc = 0;
    quint64 size = 0;
    std::vector<uint8_t> packed;
};

// Reads and deflates the small files of an archive being written on threads of their own, a
// little ahead of the archive, which takes them in its order: a mail store is mostly files of a
// few kilobytes, whose opening, reading and deflating would otherwise take turns on one core.
// What lies ready is bounded in bytes and in files, so memory stays flat whatever the store.
class FilePacker {
public:
    static constexpr quint64 aheadBytes = 4 * 1024 * 1024;
    static constexpr size_t aheadFiles = 1024;

    // `pathOf(index)` is the file of entry `index`, or empty for entries not packed here.
    FilePacker(size_t count, std::function<QString(size_t index)> pathOf);
    ~FilePacker();
    FilePacker(const FilePacker &) = delete;
    FilePacker &operator=(const FilePacker &) = delete;

    // Waits for entry `index`; null for an entry not packed here, or one already taken. Entries
    // are taken in order: those before `index` are let go.
    std::unique_ptr<PackedFile> take(size_t index);

private:
    // A thread's own, for the file being packed.
    struct Buffers {
        std::unique_ptr<uint8_t[]> file;
        std::unique_ptr<uint8_t[]> packed;
    };
    // Whether a thread may pack the next file, with 1/`share` of the window's room.
    bool roomAhead(size_t share) const;
    void work();
    std::unique_ptr<PackedFile> pack(const QString &path, Buffers &buffers, void *compressors[2]);

    const size_t m_count;
    const std::function<QString(size_t)> m_pathOf;
    std::mutex m_mutex;
    // The taker waits on `m_ready` for the file it takes, idle threads on `m_room`.
    std::condition_variable m_ready;
    std::condition_variable m_room;
    std::vector<std::unique_ptr<PackedFile>> m_results;
    std::vector<bool> m_done;
    size_t m_next = 0;
    size_t m_taken = 0;
    quint64 m_readyBytes = 0;
    // The file the taker waits for; `m_count` when it waits for none.
    size_t m_awaited;
    int m_idle = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace quillory::zipdetail
