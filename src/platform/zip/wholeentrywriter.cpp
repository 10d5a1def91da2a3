#include "platform/zip/wholeentrywriter.h"

#include "platform/filereplacement.h"
#include "platform/zip/libziphandles.h"
#include "platform/zip/unchangedfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace quillory::zipdetail {

namespace {

Result readRaw(zip_t *archive, const EntryInfo &entry, char *data)
{
    const EntryFileHandle file(zip_fopen_index(archive, entry.index, ZIP_FL_COMPRESSED));
    if (!file)
        return unreadableEntry(entry, archiveErrorText(archive));
    for (quint64 done = 0; done < entry.compressedSize;) {
        const zip_int64_t got = zip_fread(file.get(), data + done, entry.compressedSize - done);
        if (got < 0)
            return unreadableEntry(entry, QString::fromLocal8Bit(zip_file_strerror(file.get())));
        if (got == 0)
            return unreadableEntry(entry, QStringLiteral("its data ends early"));
        done += quint64(got);
    }
    return Result::success();
}

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= size_t(written);
    }
    return true;
}

} // namespace

WholeEntryWriter::WholeEntryWriter() : m_decompressor(libdeflate_alloc_decompressor()) {}

WholeEntryWriter::~WholeEntryWriter()
{
    libdeflate_free_decompressor(m_decompressor);
}

bool WholeEntryWriter::fits(const EntryInfo &entry)
{
    return entry.kind == EntryInfo::Kind::File && !entry.encrypted() && entry.crc &&
           (entry.compressionMethod == ZIP_CM_STORE || entry.compressionMethod == ZIP_CM_DEFLATE) &&
           entry.size <= sizeLimit && entry.compressedSize <= sizeLimit;
}

mode_t WholeEntryWriter::modeIn(const QString &folder)
{
    // Files come folder by folder, so one look per folder suffices.
    if (folder != m_folder) {
        m_folder = folder;
        m_folderMode = isPrivateFolder(folder) ? 0600 : 0666;
    }
    return m_folderMode;
}

Expected<const char *> WholeEntryWriter::inflate(zip_t *archive, const EntryInfo &entry)
{
    m_packed.resize(std::max<size_t>(m_packed.size(), size_t(entry.compressedSize)));
    if (Result read = readRaw(archive, entry, m_packed.data()); !read)
        return read;
    const char *data = m_packed.data();
    if (entry.compressionMethod == ZIP_CM_DEFLATE) {
        m_data.resize(std::max<size_t>(m_data.size(), size_t(entry.size)));
        // Without a place for the length it found, libdeflate fails unless the data fills
        // exactly the size the entry declares.
        if (libdeflate_deflate_decompress(m_decompressor, m_packed.data(),
                                          size_t(entry.compressedSize), m_data.data(),
                                          size_t(entry.size), nullptr) != LIBDEFLATE_SUCCESS)
            return unreadableEntry(entry, QStringLiteral("its compressed data is invalid"));
        data = m_data.data();
    } else if (entry.compressedSize != entry.size) {
        return unreadableEntry(entry, QStringLiteral("its stored size does not match its size"));
    }
    if (libdeflate_crc32(0, data, size_t(entry.size)) != *entry.crc)
        return unreadableEntry(entry, QStringLiteral("CRC error"));
    return data;
}

std::optional<Result> WholeEntryWriter::write(zip_t *archive, const EntryInfo &entry,
                                              const QString &target, const QString &unchanged)
{
    if (!m_decompressor)
        return Result::failure(QStringLiteral("Out of memory for entry \"%1\".").arg(entry.name));
    const QByteArray path = QFile::encodeName(target);
    // Something there already is `writeEntryFile`'s to handle, which reads the entry itself.
    struct stat there {};
    if (::lstat(path.constData(), &there) == 0)
        return std::nullopt;
    const Expected<const char *> data = inflate(archive, entry);
    if (!data)
        return data.result();
    // Never wider than the archive says: a private file stays private.
    const mode_t mode = modeIn(QFileInfo(target).path()) & entry.permissions.value_or(0777);
    if (!unchanged.isEmpty() && entry.modified.isValid() &&
        linkUnchangedFile(
            QFile::encodeName(unchanged), path,
            {*data, size_t(entry.size), entry.modified.toSecsSinceEpoch(), createdMode(mode)}))
        return Result::success();
    const int fd =
        ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        if (errno == EEXIST)
            return std::nullopt;
        return Result::failure(
            QStringLiteral("Cannot create %1: %2").arg(target, systemError(errno)));
    }
    Result done = Result::success();
    if (!writeAll(fd, *data, size_t(entry.size)))
        done =
            Result::failure(QStringLiteral("Cannot write %1: %2").arg(target, systemError(errno)));
    // A time that cannot be set leaves the data intact, so it does not fail the extraction.
    if (done && entry.modified.isValid()) {
        const timespec times[2] = {{0, UTIME_OMIT}, {time_t(entry.modified.toSecsSinceEpoch()), 0}};
        ::futimens(fd, times);
    }
    if (::close(fd) != 0 && done)
        done =
            Result::failure(QStringLiteral("Cannot write %1: %2").arg(target, systemError(errno)));
    if (!done)
        ::unlink(path.constData());
    return done;
}

} // namespace quillory::zipdetail
