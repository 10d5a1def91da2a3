#include "platform/disc/imagefiledrives.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

namespace quillory {

QStringList imageFileDrives()
{
    return usableImageFileDrives(qEnvironmentVariable("QUILLORY_DISC_DRIVES"));
}

QStringList usableImageFileDrives(const QString &list)
{
    QStringList paths;
    for (const QString &entry : list.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (!QDir::isAbsolutePath(entry))
            continue;
        const QString path = QDir::cleanPath(entry);
        const QFileInfo info(path);
        // libburn would take a folder or a pipe as a drive that swallows whatever is written.
        const bool usable = info.exists() ? info.isFile() && !info.isSymLink()
                                          : QFileInfo(info.absolutePath()).isDir();
        if (usable && !paths.contains(path))
            paths.append(path);
    }
    return paths;
}

ImageFileLock::ImageFileLock(const QString &path)
    : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC))
{
    if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

ImageFileLock::ImageFileLock(ImageFileLock &&other) noexcept : m_fd(std::exchange(other.m_fd, -1))
{
}

ImageFileLock &ImageFileLock::operator=(ImageFileLock &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

ImageFileLock::~ImageFileLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace quillory
