#include "platform/zip/archivetarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace quillory::zipdetail {

namespace {

// As many hops as the kernel follows before it gives up with ELOOP.
constexpr int maxHops = 40;

bool followable(const struct stat &link, const QString &folder)
{
    struct stat parent {};
    if (link.st_uid == ::geteuid() || ::stat(QFile::encodeName(folder).constData(), &parent) != 0)
        return true;
    const bool shared = (parent.st_mode & S_ISVTX) && (parent.st_mode & S_IWOTH);
    return !shared || link.st_uid == parent.st_uid;
}

} // namespace

Result checkArchiveTarget(const QString &path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    for (int hop = 0; hop < maxHops; ++hop) {
        const QByteArray name = QFile::encodeName(current);
        struct stat st {};
        // Nothing there, or nothing that can be looked at: the write itself says what is wrong.
        if (::lstat(name.constData(), &st) != 0)
            return Result::success();
        if (S_ISREG(st.st_mode))
            return Result::success();
        if (S_ISDIR(st.st_mode))
            return Result::failure(QStringLiteral("%1 is a folder, not an archive.").arg(current));
        if (!S_ISLNK(st.st_mode))
            return Result::failure(QStringLiteral("%1 is not a regular file.").arg(current));
        const QString folder = QFileInfo(current).absolutePath();
        if (!followable(st, folder))
            return Result::failure(
                QStringLiteral("%1 is a symbolic link that another user put in the shared folder "
                               "%2; it is not followed.")
                    .arg(current, folder));
        char target[PATH_MAX];
        const ssize_t length = ::readlink(name.constData(), target, sizeof target);
        if (length <= 0 || size_t(length) >= sizeof target)
            return Result::success();
        current = QDir::cleanPath(
            QDir(folder).absoluteFilePath(QFile::decodeName(QByteArray(target, length))));
    }
    return Result::failure(QStringLiteral("%1 leads through too many symbolic links.").arg(path));
}

} // namespace quillory::zipdetail
