#include "platform/wine/wineserverprobe.h"

#include <QFile>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillory {

namespace {

// The lock wineserver holds for its whole life, in each place a server folder can be.
QStringList lockCandidates(const QString &prefixPath, const struct stat &prefix)
{
    const QString serverFolder = QStringLiteral("server-%1-%2")
                                     .arg(quint64(prefix.st_dev), 0, 16)
                                     .arg(quint64(prefix.st_ino), 0, 16);
    QStringList bases;
    // Debian's wine keeps the name of its folder below $TMPDIR in the prefix.
    QFile nameFile(prefixPath + QStringLiteral("/wineserver"));
    if (nameFile.open(QIODevice::ReadOnly)) {
        const QString name = QString::fromLocal8Bit(nameFile.read(256)).trimmed();
        if (!name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String("..")) {
            const QString tmp = qEnvironmentVariable("TMPDIR");
            if (!tmp.isEmpty())
                bases.append(tmp + QLatin1Char('/') + name);
            bases.append(QStringLiteral("/tmp/") + name);
        }
    }
    bases.append(QStringLiteral("/tmp/.wine-%1").arg(::getuid()));
    QStringList locks;
    for (const QString &base : std::as_const(bases))
        locks.append(base + QLatin1Char('/') + serverFolder + QStringLiteral("/lock"));
    return locks;
}

std::optional<qint64> lockHolder(const QString &lockPath)
{
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool held = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return held ? std::optional<qint64>(lock.l_pid) : std::nullopt;
}

bool holdsOpen(const QByteArray &process, const struct stat &folder)
{
    const QByteArray fdFolder = process + "/fd";
    DIR *fds = ::opendir(fdFolder.constData());
    if (!fds)
        return false;
    bool found = false;
    while (const dirent *fd = ::readdir(fds)) {
        struct stat target {};
        if (fd->d_name[0] != '.' &&
            ::stat((fdFolder + '/' + fd->d_name).constData(), &target) == 0 &&
            target.st_dev == folder.st_dev && target.st_ino == folder.st_ino) {
            found = true;
            break;
        }
    }
    ::closedir(fds);
    return found;
}

// Any layout: wineserver keeps the prefix folder open. Plain POSIX calls keep this cheap, as
// every change to the registry asks.
std::optional<qint64> serverProcessHolding(const struct stat &prefix)
{
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return std::nullopt;
    std::optional<qint64> pid;
    while (const dirent *entry = ::readdir(proc)) {
        bool isPid = false;
        const qint64 number = QByteArray(entry->d_name).toLongLong(&isPid);
        if (!isPid)
            continue;
        const QByteArray process = QByteArray("/proc/") + entry->d_name;
        char exe[PATH_MAX];
        const ssize_t length = ::readlink((process + "/exe").constData(), exe, sizeof exe);
        if (length <= 0)
            continue;
        const QByteArrayView path(exe, length);
        if (path.sliced(path.lastIndexOf('/') + 1).startsWith("wineserver") &&
            holdsOpen(process, prefix)) {
            pid = number;
            break;
        }
    }
    ::closedir(proc);
    return pid;
}

} // namespace

std::optional<qint64> runningWineserver(const QString &prefixPath)
{
    struct stat prefix {};
    if (::stat(QFile::encodeName(prefixPath).constData(), &prefix) != 0)
        return std::nullopt;
    for (const QString &lock : lockCandidates(prefixPath, prefix))
        if (const auto pid = lockHolder(lock))
            return pid;
    return serverProcessHolding(prefix);
}

} // namespace quillory
