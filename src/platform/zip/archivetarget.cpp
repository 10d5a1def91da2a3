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

QString plantedLink(const QString &link, const QString &folder)
{
    return QStringLiteral("%1 is a symbolic link that another user put in the shared folder %2; "
                          "it is not followed.")
        .arg(link, folder);
}

// `path` with every link among its folders followed as the kernel's rule would follow it; a
// failure when one may not be.
Expected<QString> followFolderLinks(const QString &path, int &hops)
{
    QStringList rest = QDir::cleanPath(QFileInfo(path).absoluteFilePath())
                           .split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QString name = rest.isEmpty() ? QString() : rest.takeLast();
    QString reached = QStringLiteral("/");
    while (!rest.isEmpty()) {
        const QString part = rest.takeFirst();
        const QString current = QDir(reached).filePath(part);
        struct stat st {};
        if (::lstat(QFile::encodeName(current).constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            reached = current;
            continue;
        }
        if (!followable(st, reached))
            return Result::failure(plantedLink(current, reached));
        if (++hops > maxHops)
            return Result::failure(
                QStringLiteral("%1 leads through too many symbolic links.").arg(path));
        char target[PATH_MAX];
        const ssize_t length =
            ::readlink(QFile::encodeName(current).constData(), target, sizeof target);
        if (length <= 0 || size_t(length) >= sizeof target)
            return QDir(current).filePath(rest.join(QLatin1Char('/'))) + QLatin1Char('/') + name;
        const QString led = QDir::cleanPath(
            QDir(reached).absoluteFilePath(QFile::decodeName(QByteArray(target, length))));
        // The link's target may hold links of its own: its parts are looked at in turn.
        rest = led.split(QLatin1Char('/'), Qt::SkipEmptyParts) + rest;
        reached = QStringLiteral("/");
    }
    return QDir(reached).filePath(name);
}

} // namespace

Result checkArchiveTarget(const QString &path)
{
    int hops = 0;
    const Expected<QString> followed = followFolderLinks(path, hops);
    if (!followed)
        return followed.result();
    QString current = *followed;
    for (; hops < maxHops; ++hops) {
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
            return Result::failure(plantedLink(current, folder));
        char target[PATH_MAX];
        const ssize_t length = ::readlink(name.constData(), target, sizeof target);
        if (length <= 0 || size_t(length) >= sizeof target)
            return Result::success();
        const Expected<QString> next =
            followFolderLinks(QDir::cleanPath(QDir(folder).absoluteFilePath(
                                  QFile::decodeName(QByteArray(target, length)))),
                              hops);
        if (!next)
            return next.result();
        current = *next;
    }
    return Result::failure(QStringLiteral("%1 leads through too many symbolic links.").arg(path));
}

} // namespace quillory::zipdetail
