#include "platform/wine/replacefilecontents.h"

#include "platform/runownedname.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillory {

// Not QSaveFile: it ignores a failed sync and does not sync the folder.
Result replaceFileContents(const QString &path, const QByteArray &contents)
{
    const QByteArray target = QFile::encodeName(path);
    struct stat old {};
    const bool replacing = ::stat(target.constData(), &old) == 0;

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        // The process id in the name lets a later run remove what a killed one left.
        temporary = target + ".quillory-" + QFile::encodeName(runOwnedSuffix());
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    replacing ? (old.st_mode & 0777) : 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return Result::failure(QStringLiteral("Could not create a new file beside %1: %2")
                                   .arg(path, qt_error_string(errno)));

    const auto fail = [&](const QString &step) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        ::unlink(temporary.constData());
        return Result::failure(QStringLiteral("Could not write %1 (%2: %3); it was left as it was")
                                   .arg(path, step, qt_error_string(error)));
    };
    if (replacing) {
        struct stat created {};
        if (::fchmod(fd, old.st_mode & 07777) != 0 || ::fstat(fd, &created) != 0)
            return fail(QStringLiteral("permissions"));
        if ((created.st_uid != old.st_uid || created.st_gid != old.st_gid) &&
            ::fchown(fd, old.st_uid, old.st_gid) != 0)
            return fail(QStringLiteral("owner"));
    }
    for (qsizetype written = 0; written < contents.size();) {
        const ssize_t n =
            ::write(fd, contents.constData() + written, size_t(contents.size() - written));
        if (n < 0 && errno != EINTR)
            return fail(QStringLiteral("write"));
        written += std::max<ssize_t>(n, 0);
    }
    if (::fsync(fd) != 0)
        return fail(QStringLiteral("sync"));
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return fail(QStringLiteral("close"));
    if (::rename(temporary.constData(), target.constData()) != 0)
        return fail(QStringLiteral("rename"));

    // The new file is in place; syncing the folder only makes the rename survive a crash, and
    // a folder that cannot be synced changes nothing about that.
    const int folder = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return Result::success();
}

} // namespace quillory
