#include "platform/zip/unchangedfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace quillory::zipdetail {

namespace {

// The process's umask as the kernel reports it; reading it with umask() would change it for
// every thread for a moment.
std::optional<mode_t> processUmask()
{
    static const std::optional<mode_t> mask = []() -> std::optional<mode_t> {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return std::nullopt;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint value = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(value);
            }
        return std::nullopt;
    }();
    return mask;
}

bool sameBytes(int fd, const char *data, size_t size)
{
    constexpr size_t chunk = 64 * 1024;
    char buffer[chunk];
    for (size_t done = 0; done < size;) {
        const ssize_t got = ::pread(fd, buffer, std::min(chunk, size - done), off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || std::memcmp(buffer, data + done, size_t(got)) != 0)
            return false;
        done += size_t(got);
    }
    // Nothing more than the expected bytes.
    char extra = 0;
    return ::pread(fd, &extra, 1, off_t(size)) == 0;
}

bool sameState(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

} // namespace

mode_t createdMode(mode_t requested)
{
    const std::optional<mode_t> mask = processUmask();
    return mask ? requested & ~*mask : 0;
}

bool linkUnchangedFile(const QByteArray &existing, const QByteArray &target,
                       const FileContents &contents)
{
    if (contents.mode == 0)
        return false;
    const int fd = ::open(existing.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat before {};
    const bool same =
        ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode) && before.st_nlink == 1 &&
        before.st_uid == ::geteuid() && (before.st_mode & 07777) == contents.mode &&
        before.st_size == off_t(contents.size) && before.st_mtim.tv_sec == contents.modified &&
        before.st_mtim.tv_nsec == 0 && sameBytes(fd, contents.data, contents.size);
    ::close(fd);
    if (!same || ::link(existing.constData(), target.constData()) != 0)
        return false;
    // The name may have been given to another file, or the file written to, since it was
    // compared: then the new name goes again and the file is written as usual.
    struct stat after {};
    if (::lstat(target.constData(), &after) == 0 && sameState(before, after))
        return true;
    ::unlink(target.constData());
    return false;
}

} // namespace quillory::zipdetail
