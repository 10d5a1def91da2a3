#include "platform/zip/siblingfile.h"

#include "platform/runownedname.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace quillory::zipdetail {

namespace {

QString systemError(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

const QLatin1String siblingMark(".quillory-");

} // namespace

bool isPrivateFolder(const QString &folder)
{
    struct stat st {};
    return ::stat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           (st.st_mode & 077) == 0;
}

QString resolvedTarget(const QString &target)
{
    // As many hops as the kernel follows before it gives up with ELOOP.
    constexpr int maxHops = 40;
    QString path = QFileInfo(target).absoluteFilePath();
    for (int hop = 0; hop < maxHops; ++hop) {
        const QFileInfo info(path);
        if (!info.isSymLink())
            return path;
        path = QDir::cleanPath(info.symLinkTarget());
    }
    return path;
}

void removeStaleSiblings(const QString &target)
{
    const QFileInfo resolved(resolvedTarget(target));
    const QString mark = resolved.fileName() + siblingMark;
    const QDir folder = resolved.dir();
    // Compared as text: the target's name may hold characters that a name filter reads as a
    // pattern.
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (!name.startsWith(mark))
            continue;
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        struct stat st {};
        // The rest is this layer's own "PID-RANDOM", with libzip's ".XXXXXX" after it while the
        // archive is being written.
        if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid() &&
            madeByGoneRun(QStringView(name).mid(mark.size())))
            ::unlink(path.constData());
    }
}

Expected<QString> createSiblingFile(const QString &target)
{
    removeStaleSiblings(target);
    const QString resolved = resolvedTarget(target);
    // 0666 lets the umask decide, as for any new file the user makes.
    const mode_t mode = isPrivateFolder(QFileInfo(resolved).absolutePath()) ? 0600 : 0666;
    constexpr int attempts = 100;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const QString path = resolved + siblingMark + runOwnedSuffix();
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return Result::failure(QStringLiteral("Cannot create a file beside %1: %2")
                                       .arg(resolved, systemError(errno)));
    }
    return Result::failure(QStringLiteral("Cannot find a free name beside %1.").arg(resolved));
}

Result moveIntoPlace(const QString &temp, const QString &target, Durability durability)
{
    const bool sync = durability == Durability::Synced;
    const QByteArray tempName = QFile::encodeName(temp);
    // A link at the target stays a link: the file it points to is what is replaced.
    const QString resolved = resolvedTarget(target);
    const QByteArray targetName = QFile::encodeName(resolved);
    FileDescriptor file(::open(tempName.constData(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return Result::failure(QStringLiteral("Cannot open %1: %2").arg(temp, systemError(errno)));
    struct stat old {};
    if (::stat(targetName.constData(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(file.get(), old.st_mode & 07777);
    else if (isPrivateFolder(QFileInfo(resolved).absolutePath()))
        ::fchmod(file.get(), 0600);
    if (sync && ::fsync(file.get()) != 0)
        return Result::failure(
            QStringLiteral("Cannot write %1 to disk: %2").arg(temp, systemError(errno)));
    if (::close(file.release()) != 0)
        return Result::failure(
            QStringLiteral("Cannot write %1 to disk: %2").arg(temp, systemError(errno)));
    if (::rename(tempName.constData(), targetName.constData()) != 0)
        return Result::failure(QStringLiteral("Cannot move %1 into place as %2: %3")
                                   .arg(temp, resolved, systemError(errno)));
    // The rename itself becomes durable with the folder; where a file system cannot sync a
    // folder, the file is in place all the same.
    const FileDescriptor folder(
        ::open(QFile::encodeName(QFileInfo(resolved).absolutePath()).constData(),
               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (sync && folder.get() >= 0)
        ::fsync(folder.get());
    return Result::success();
}

} // namespace quillory::zipdetail
