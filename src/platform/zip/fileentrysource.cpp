#include "platform/zip/fileentrysource.h"

#include "platform/zip/compresseddata.h"
#include "platform/zip/entrymaker.h"
#include "platform/zip/filepacker.h"
#include "platform/zip/piecewisedeflate.h"
#include "platform/zip/winzipaes.h"

#include <QFile>

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace quillory::zipdetail {

// What only the entry being read needs. libzip reads its sources one after the other, so one of
// these serves every entry of an archive, and an archive of many small files keeps little per file.
struct OpenEntry {
    enum class Body { Stored, Whole, Stream };

    int fd = -1;
    Body body = Body::Stored;
    size_t packedAt = 0;
    size_t packedSize = 0;
    std::unique_ptr<PiecewiseDeflate> pieces;
    std::unique_ptr<WinZipAesEncryptor> aes;
    // The deflated body of a Whole entry.
    const uint8_t *packed = nullptr;
    std::unique_ptr<PackedFile> packedFile;
    QByteArray prefix;
    QByteArray suffix;
    qsizetype prefixAt = 0;
    qsizetype suffixAt = 0;
};

namespace {

// One per entry, alive from the entry's adding to the archive's end: what it keeps is what libzip
// asks of it after the data has been read.
class FileEntrySource {
public:
    FileEntrySource(FileEntry entry, EntryWorkspace &workspace)
        : m_entry(std::move(entry)), m_workspace(workspace)
    {
    }
    ~FileEntrySource() { close(); }
    FileEntrySource(const FileEntrySource &) = delete;
    FileEntrySource &operator=(const FileEntrySource &) = delete;

    static zip_int64_t call(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command);

private:
    zip_int64_t fail(int zipError, int systemError = 0)
    {
        zip_error_set(m_workspace.error(), zipError, systemError);
        m_failed = true;
        return -1;
    }
    OpenEntry &current() { return *m_workspace.openEntry(); }
    zip_int64_t open();
    zip_int64_t openFile();
    zip_int64_t openBody();
    void startEncryption();
    zip_int64_t read(uint8_t *data, size_t length);
    zip_int64_t readBody(uint8_t *data, size_t length);
    zip_int64_t readStream(uint8_t *data, size_t length);
    zip_int64_t readFile(uint8_t *data, size_t length);
    void close();
    zip_int64_t error(void *data, zip_uint64_t length);
    void stat(zip_stat_t *st) const;
    void attributes(zip_file_attributes_t *attributes) const;

    FileEntry m_entry;
    EntryWorkspace &m_workspace;
    quint64 m_read = 0;
    uint32_t m_crc = 0;
    bool m_bodyDone = false;
    bool m_opened = false;
    // The workspace's error is this entry's.
    bool m_failed = false;
};

zip_int64_t FileEntrySource::call(void *state, void *data, zip_uint64_t length,
                                  zip_source_cmd_t command)
{
    auto *self = static_cast<FileEntrySource *>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        return self->open();
    case ZIP_SOURCE_READ:
        return self->read(static_cast<uint8_t *>(data), size_t(length));
    case ZIP_SOURCE_CLOSE:
        self->close();
        return 0;
    case ZIP_SOURCE_STAT:
        if (length < sizeof(zip_stat_t))
            return self->fail(ZIP_ER_INVAL);
        self->stat(static_cast<zip_stat_t *>(data));
        return sizeof(zip_stat_t);
    case ZIP_SOURCE_GET_FILE_ATTRIBUTES:
        if (length < sizeof(zip_file_attributes_t))
            return self->fail(ZIP_ER_INVAL);
        self->attributes(static_cast<zip_file_attributes_t *>(data));
        return sizeof(zip_file_attributes_t);
    case ZIP_SOURCE_ERROR:
        return self->error(data, length);
    case ZIP_SOURCE_FREE:
        delete self;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(
            ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR,
            ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS, ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
    default:
        return self->fail(ZIP_ER_OPNOTSUPP);
    }
}

zip_int64_t FileEntrySource::open()
{
    close();
    m_crc = 0;
    m_read = 0;
    m_bodyDone = false;
    m_failed = false;
    OpenEntry *entry = m_workspace.openEntry();
    if (!entry)
        return fail(ZIP_ER_MEMORY);
    *entry = OpenEntry();
    m_opened = true;

    if (m_entry.maker) {
        if (!m_entry.maker->make())
            return fail(ZIP_ER_OPEN);
        entry->body = OpenEntry::Body::Stored;
        startEncryption();
        return 0;
    }
    if (FilePacker *packer = m_workspace.packer()) {
        std::unique_ptr<PackedFile> packed = packer->take(m_entry.index);
        if (packed && packed->error != 0)
            return fail(packed->error == ENOMEM ? ZIP_ER_MEMORY : ZIP_ER_OPEN, packed->error);
        if (packed && packed->whole) {
            m_entry.modified = packed->st.st_mtime;
            m_entry.mode = packed->st.st_mode;
            m_crc = packed->crc;
            m_read = packed->size;
            entry->body = OpenEntry::Body::Whole;
            entry->packed = packed->packed.data();
            entry->packedSize = packed->packed.size();
            entry->packedFile = std::move(packed);
            startEncryption();
            return 0;
        }
    }
    return openFile();
}

zip_int64_t FileEntrySource::openFile()
{
    OpenEntry *entry = m_workspace.openEntry();
    // Not blocking, so that a file swapped for a pipe since it was added cannot hang the run.
    entry->fd =
        ::open(QFile::encodeName(m_entry.root + QLatin1Char('/') + m_entry.name).constData(),
               O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (entry->fd < 0)
        return fail(ZIP_ER_OPEN, errno);
    struct stat st {};
    const int error = ::fstat(entry->fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    if (error != 0) {
        close();
        return fail(ZIP_ER_OPEN, error);
    }
    m_entry.modified = st.st_mtime;
    m_entry.mode = st.st_mode;
    startEncryption();
    const zip_int64_t opened = openBody();
    if (opened < 0)
        close();
    return opened;
}

void FileEntrySource::startEncryption()
{
    OpenEntry &entry = current();
    if (!m_entry.password.isEmpty()) {
        entry.aes = std::make_unique<WinZipAesEncryptor>(m_entry.password);
        entry.prefix = entry.aes->header();
    }
}

// A file that ends within the limit is read and deflated whole; a larger one is deflated in
// pieces on several threads, starting with what has been read so far.
zip_int64_t FileEntrySource::openBody()
{
    OpenEntry &entry = current();
    if (!m_entry.deflate) {
        entry.body = OpenEntry::Body::Stored;
        return 0;
    }
    uint8_t *buffer = m_workspace.fileBuffer();
    if (!buffer || !m_workspace.packedBuffer())
        return fail(ZIP_ER_MEMORY);
    size_t got = 0;
    while (got < EntryWorkspace::wholeFileLimit) {
        const zip_int64_t n = readFile(buffer + got, EntryWorkspace::wholeFileLimit - got);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += size_t(n);
    }
    m_crc = libdeflate_crc32(m_crc, buffer, got);
    m_read = got;
    if (got < EntryWorkspace::wholeFileLimit) {
        libdeflate_compressor *compressor =
            m_workspace.compressor(wholeFileDeflateLevel(buffer, got));
        if (!compressor)
            return fail(ZIP_ER_MEMORY);
        entry.body = OpenEntry::Body::Whole;
        entry.packed = m_workspace.packedBuffer();
        entry.packedSize = libdeflate_deflate_compress(
            compressor, buffer, got, m_workspace.packedBuffer(), m_workspace.packedCapacity());
        return entry.packedSize > 0 ? 0 : fail(ZIP_ER_INTERNAL);
    }
    entry.body = OpenEntry::Body::Stream;
    // A file this large is mostly one attachment. Where that is compressed data, zlib's search for
    // repeats would find next to none, and its codes alone make it as small, five times faster.
    const int strategy = looksCompressed(buffer, got) ? Z_HUFFMAN_ONLY : Z_DEFAULT_STRATEGY;
    try {
        entry.pieces = std::make_unique<PiecewiseDeflate>(
            thoroughDeflateLevel, strategy,
            [this](uint8_t *data, size_t length) {
                const zip_int64_t n = readFile(data, length);
                if (n > 0) {
                    m_crc = libdeflate_crc32(m_crc, data, size_t(n));
                    m_read += quint64(n);
                }
                return qint64(n);
            },
            buffer, got);
    } catch (const std::exception &) {
        return fail(ZIP_ER_MEMORY);
    }
    return 0;
}

// Fills `data` with the salt and verifier, the body and the authentication code in turn.
zip_int64_t FileEntrySource::read(uint8_t *data, size_t length)
{
    OpenEntry &entry = current();
    const auto copyPart = [&](const QByteArray &part, qsizetype &at, size_t &produced) {
        const size_t count = std::min(size_t(part.size() - at), length - produced);
        std::memcpy(data + produced, part.constData() + at, count);
        at += qsizetype(count);
        produced += count;
    };
    size_t produced = 0;
    while (produced < length) {
        if (entry.prefixAt < entry.prefix.size()) {
            copyPart(entry.prefix, entry.prefixAt, produced);
        } else if (!m_bodyDone) {
            const zip_int64_t n = readBody(data + produced, length - produced);
            if (n < 0)
                return -1;
            if (n == 0) {
                m_bodyDone = true;
                if (entry.aes)
                    entry.suffix = entry.aes->authenticationCode();
                continue;
            }
            if (entry.aes)
                entry.aes->encrypt(data + produced, size_t(n));
            produced += size_t(n);
        } else if (entry.suffixAt < entry.suffix.size()) {
            copyPart(entry.suffix, entry.suffixAt, produced);
        } else {
            break;
        }
    }
    return zip_int64_t(produced);
}

zip_int64_t FileEntrySource::readBody(uint8_t *data, size_t length)
{
    OpenEntry &entry = current();
    switch (entry.body) {
    case OpenEntry::Body::Stored: {
        const zip_int64_t n = readFile(data, length);
        if (n > 0) {
            m_crc = libdeflate_crc32(m_crc, data, size_t(n));
            m_read += quint64(n);
        }
        return n;
    }
    case OpenEntry::Body::Whole: {
        const size_t count = std::min(length, entry.packedSize - entry.packedAt);
        std::memcpy(data, entry.packed + entry.packedAt, count);
        entry.packedAt += count;
        return zip_int64_t(count);
    }
    case OpenEntry::Body::Stream:
        return readStream(data, length);
    }
    return fail(ZIP_ER_INTERNAL);
}

zip_int64_t FileEntrySource::readStream(uint8_t *data, size_t length)
{
    const qint64 n = current().pieces->read(data, length);
    return n >= 0 ? n : m_failed ? -1 : fail(ZIP_ER_ZLIB);
}

zip_int64_t FileEntrySource::readFile(uint8_t *data, size_t length)
{
    if (m_entry.maker) {
        const qint64 n = m_entry.maker->read(reinterpret_cast<char *>(data), length);
        return n >= 0 ? n : fail(ZIP_ER_READ);
    }
    for (;;) {
        const ssize_t n = ::read(current().fd, data, length);
        if (n >= 0)
            return n;
        if (errno != EINTR)
            return fail(ZIP_ER_READ, errno);
    }
}

void FileEntrySource::close()
{
    if (!m_opened)
        return;
    m_opened = false;
    if (m_entry.maker)
        m_entry.maker->done();
    OpenEntry &entry = current();
    entry.packedFile.reset();
    if (entry.fd >= 0)
        ::close(entry.fd);
    entry.fd = -1;
    entry.pieces.reset();
    entry.aes.reset();
}

zip_int64_t FileEntrySource::error(void *data, zip_uint64_t length)
{
    zip_error_t none;
    zip_error_init(&none);
    const zip_int64_t written =
        zip_error_to_data(m_failed ? m_workspace.error() : &none, data, length);
    zip_error_fini(&none);
    return written;
}

void FileEntrySource::stat(zip_stat_t *st) const
{
    st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME | ZIP_STAT_COMP_METHOD;
    st->size = m_bodyDone ? m_read : m_entry.size;
    st->mtime = m_entry.modified;
    // Our writer takes the method from the answer given after the data. libzip, which the tests
    // hold our writer's bytes against, lays its own checksum over every source that calls itself
    // stored, which would sum our encrypted bytes; it too reads the method again after the data,
    // so until then a stored entry calls itself deflated and libzip copies it as it comes.
    st->comp_method = m_entry.deflate || !m_bodyDone ? ZIP_CM_DEFLATE : ZIP_CM_STORE;
    if (m_bodyDone) {
        st->crc = m_crc;
        st->valid |= ZIP_STAT_CRC;
    }
    if (!m_entry.password.isEmpty()) {
        st->encryption_method = ZIP_EM_AES_256;
        st->valid |= ZIP_STAT_ENCRYPTION_METHOD;
    }
}

// As libzip's own file source gives them: Unix mode bits, and the DOS read-only bit.
void FileEntrySource::attributes(zip_file_attributes_t *attributes) const
{
    attributes->valid |=
        ZIP_FILE_ATTRIBUTES_HOST_SYSTEM | ZIP_FILE_ATTRIBUTES_EXTERNAL_FILE_ATTRIBUTES;
    attributes->host_system = ZIP_OPSYS_UNIX;
    attributes->external_file_attributes =
        (zip_uint32_t(m_entry.mode) << 16) | ((m_entry.mode & S_IWUSR) ? 0 : 1);
}

} // namespace

EntryWorkspace::EntryWorkspace()
{
    zip_error_init(&m_error);
}

EntryWorkspace::~EntryWorkspace()
{
    for (libdeflate_compressor *compressor : {m_fast, m_thorough})
        if (compressor)
            libdeflate_free_compressor(compressor);
    zip_error_fini(&m_error);
}

OpenEntry *EntryWorkspace::openEntry()
{
    if (!m_openEntry)
        m_openEntry.reset(new (std::nothrow) OpenEntry);
    return m_openEntry.get();
}

libdeflate_compressor *EntryWorkspace::compressor(int level)
{
    libdeflate_compressor *&compressor = level == fastDeflateLevel ? m_fast : m_thorough;
    if (!compressor)
        compressor = libdeflate_alloc_compressor(level);
    return compressor;
}

uint8_t *EntryWorkspace::fileBuffer()
{
    if (!m_file)
        m_file.reset(new (std::nothrow) uint8_t[wholeFileLimit]);
    return m_file.get();
}

uint8_t *EntryWorkspace::packedBuffer()
{
    if (!m_packed) {
        // Null: the bound of every level.
        m_packedCapacity = libdeflate_deflate_compress_bound(nullptr, wholeFileLimit);
        m_packed.reset(new (std::nothrow) uint8_t[m_packedCapacity]);
    }
    return m_packed.get();
}

size_t EntryWorkspace::packedCapacity()
{
    return packedBuffer() ? m_packedCapacity : 0;
}

zip_source_t *createFileEntrySource(FileEntry entry, EntryWorkspace &workspace, zip_error_t *error)
{
    auto *state = new FileEntrySource(std::move(entry), workspace);
    zip_source_t *source = zip_source_function_create(FileEntrySource::call, state, error);
    if (!source)
        delete state;
    return source;
}

} // namespace quillory::zipdetail
