#pragma once

#include <QByteArray>
#include <QString>

#include <zip.h>

#include <cstdint>
#include <memory>
#include <sys/types.h>

struct libdeflate_compressor;

namespace quillory {
class EntryMaker;
}

namespace quillory::zipdetail {

class FilePacker;
struct OpenEntry;

// Work space shared by the file sources of one archive being written. libzip reads its sources
// one after the other, so they can share one compressor and its buffers.
class EntryWorkspace {
public:
    // Files up to this size are read whole and deflated in one call; larger ones are deflated
    // in pieces as they are read, so that memory stays flat whatever the size of a file.
    static constexpr size_t wholeFileLimit = 4 * 1024 * 1024;

    EntryWorkspace();
    ~EntryWorkspace();
    EntryWorkspace(const EntryWorkspace &) = delete;
    EntryWorkspace &operator=(const EntryWorkspace &) = delete;

    // `fastDeflateLevel` or `thoroughDeflateLevel`.
    libdeflate_compressor *compressor(int level);
    uint8_t *fileBuffer();
    uint8_t *packedBuffer();
    size_t packedCapacity();
    // The state of the entry being read; null when memory ran out.
    OpenEntry *openEntry();
    // The error of the last entry that failed.
    zip_error_t *error() { return &m_error; }
    // Where files are read and deflated ahead of the archive; null: each entry does it itself.
    void setPacker(FilePacker *packer) { m_packer = packer; }
    FilePacker *packer() const { return m_packer; }

private:
    libdeflate_compressor *m_fast = nullptr;
    libdeflate_compressor *m_thorough = nullptr;
    std::unique_ptr<uint8_t[]> m_file;
    std::unique_ptr<uint8_t[]> m_packed;
    size_t m_packedCapacity = 0;
    std::unique_ptr<OpenEntry> m_openEntry;
    zip_error_t m_error;
    FilePacker *m_packer = nullptr;
};

struct FileEntry {
    // The file is `root` + "/" + `name`: strings shared with the caller's, rather than a path of
    // its own for each of many entries.
    QString root;
    QString name;
    bool deflate = true;
    // Empty: the entry is not encrypted.
    QByteArray password;
    // What the file looked like when it was added; refreshed when it is opened.
    quint64 size = 0;
    time_t modified = 0;
    mode_t mode = 0;
    // Set: the entry's bytes are made as they are read, and `root` and `name` only name it.
    std::shared_ptr<EntryMaker> maker;
    // The entry's place in the archive, as the workspace's packer knows it.
    size_t index = 0;
};

// A libzip source that serves a file's bytes exactly as the entry holds them: deflated (with
// libdeflate, which is several times faster than zlib at the same size) when `deflate` is set,
// then encrypted with WinZip AES-256 when a password is given. `SequentialZipWriter` copies the
// bytes as they come and takes the entry's method, CRC and encryption from the source's answers
// after the data.
zip_source_t *createFileEntrySource(FileEntry entry, EntryWorkspace &workspace, zip_error_t *error);

} // namespace quillory::zipdetail
