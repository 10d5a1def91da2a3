#include "platform/zip/siblingfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

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

} // namespace

Expected<QString> createSiblingFile(const QString &target)
{
    constexpr int attempts = 100;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const QString path =
            target + QLatin1Char('.') +
            QString::number(QRandomGenerator::global()->generate(), 36).rightJustified(7, u'0');
        // 0666 lets the umask decide, as for any new file the user makes.
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return Result::failure(QStringLiteral("Cannot create a file beside %1: %2")
                                       .arg(target, systemError(errno)));
    }
    return Result::failure(QStringLiteral("Cannot find a free name beside %1.").arg(target));
}

Result moveIntoPlace(const QString &temp, const QString &target, Durability durability)
{
    const bool sync = durability == Durability::Synced;
    const QByteArray tempName = QFile::encodeName(temp);
    const QByteArray targetName = QFile::encodeName(target);
    FileDescriptor file(::open(tempName.constData(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return Result::failure(QStringLiteral("Cannot open %1: %2").arg(temp, systemError(errno)));
    struct stat old {};
    if (::stat(targetName.constData(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(file.get(), old.st_mode & 07777);
    if (sync && ::fsync(file.get()) != 0)
        return Result::failure(
            QStringLiteral("Cannot write %1 to disk: %2").arg(temp, systemError(errno)));
    if (::close(file.release()) != 0)
        return Result::failure(
            QStringLiteral("Cannot write %1 to disk: %2").arg(temp, systemError(errno)));
    if (::rename(tempName.constData(), targetName.constData()) != 0)
        return Result::failure(QStringLiteral("Cannot move %1 into place as %2: %3")
                                   .arg(temp, target, systemError(errno)));
    // The rename itself becomes durable with the folder; where a file system cannot sync a
    // folder, the file is in place all the same.
    const FileDescriptor folder(
        ::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(),
               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (sync && folder.get() >= 0)
        ::fsync(folder.get());
    return Result::success();
}

} // namespace quillory::zipdetail
