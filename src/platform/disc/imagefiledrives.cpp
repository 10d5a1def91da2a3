#include "platform/disc/imagefiledrives.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace quillory {

namespace {

// Why a listed path cannot stand in for a drive; empty when it can.
QString unusable(const QString &entry)
{
    if (!QDir::isAbsolutePath(entry))
        return QStringLiteral("a relative path");
    const QString path = QDir::cleanPath(entry);
    const QFileInfo info(path);
    // libburn would take a folder or a pipe as a drive that swallows whatever is written.
    for (const QString &system : {QStringLiteral("/proc"), QStringLiteral("/sys")}) {
        const QString real = info.exists() ? info.canonicalFilePath() : path;
        if (real == system || real.startsWith(system + QLatin1Char('/')))
            return QStringLiteral("under %1, not an image file").arg(system);
    }
    if (info.isSymLink() && !info.exists())
        return QStringLiteral("a link to nothing");
    if (info.isDir())
        return QStringLiteral("a folder");
    if (info.exists() && !info.isFile())
        return QStringLiteral("a device, pipe or socket");
    if (info.exists())
        return info.isWritable() ? QString() : QStringLiteral("not writable");
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("its folder does not exist");
    return folder.isWritable() ? QString() : QStringLiteral("its folder is not writable");
}

} // namespace

ImageFileDriveList sortImageFileDrives(const QString &list)
{
    ImageFileDriveList sorted;
    for (const QString &entry : list.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString why = unusable(entry);
        const QString path = QDir::cleanPath(entry);
        if (!why.isEmpty())
            sorted.leftOut.append({entry, why});
        else if (!sorted.usable.contains(path))
            sorted.usable.append(path);
    }
    return sorted;
}

QStringList imageFileDrives()
{
    return usableImageFileDrives(qEnvironmentVariable("QUILLORY_DISC_DRIVES"));
}

QStringList usableImageFileDrives(const QString &list)
{
    return sortImageFileDrives(list).usable;
}

ImageFileLock::ImageFileLock(const QString &path) : m_path(path)
{
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    m_created = fd >= 0;
    if (!m_created && errno == EEXIST)
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        m_inUse = true;
        m_created = false;
        return;
    }
    // The holder before may have taken away the file it made while this open waited: a lock on
    // a file no longer at the path holds nothing.
    struct stat locked {};
    struct stat now {};
    if (::fstat(fd, &locked) != 0 || ::stat(name.constData(), &now) != 0 ||
        locked.st_dev != now.st_dev || locked.st_ino != now.st_ino) {
        ::close(fd);
        m_inUse = true;
        m_created = false;
        return;
    }
    m_fd = fd;
}

ImageFileLock::ImageFileLock(ImageFileLock &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_inUse(other.m_inUse),
      m_created(std::exchange(other.m_created, false)), m_path(std::move(other.m_path))
{
}

ImageFileLock &ImageFileLock::operator=(ImageFileLock &&other) noexcept
{
    if (this != &other) {
        let();
        m_fd = std::exchange(other.m_fd, -1);
        m_inUse = other.m_inUse;
        m_created = std::exchange(other.m_created, false);
        m_path = std::move(other.m_path);
    }
    return *this;
}

ImageFileLock::~ImageFileLock()
{
    let();
}

void ImageFileLock::let()
{
    if (m_fd < 0)
        return;
    // Taken away while still locked, so that no other program finds it in between.
    struct stat info {};
    if (m_created && ::fstat(m_fd, &info) == 0 && info.st_size == 0)
        ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
    m_fd = -1;
}

} // namespace quillory
