#include "app/profilelock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace quillory {

QString ProfileLock::fileName()
{
    return QStringLiteral(".quillory.lock");
}

Expected<ProfileLock> ProfileLock::take(const QString &prefixPath)
{
    const QByteArray path = QFile::encodeName(QDir(prefixPath).filePath(fileName()));
    // Close-on-exec: a program the run starts must not keep the profile locked after it.
    int descriptor = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    // A prefix the user may only read can still be backed up. Its lock file is one an earlier run
    // made; without one, no run of this user can change the prefix, so there is nothing to keep
    // apart.
    if (descriptor < 0 && (errno == EACCES || errno == EROFS)) {
        descriptor = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (descriptor < 0 && errno == ENOENT)
            return ProfileLock(-1);
    }
    if (descriptor < 0) {
        const int why = errno;
        if (why == ENOENT && !QFileInfo::exists(prefixPath))
            return ProfileLock(-1);
        return Result::failure(
            QStringLiteral("The mail profile %1 cannot be locked for the run: %2")
                .arg(prefixPath, QString::fromLocal8Bit(std::strerror(why))));
    }
    int locked = 0;
    do
        locked = ::flock(descriptor, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const int why = errno;
        ::close(descriptor);
        if (why == EWOULDBLOCK)
            return Result::failure(profileBusyText);
        return Result::failure(
            QStringLiteral("The mail profile %1 cannot be locked for the run: %2")
                .arg(prefixPath, QString::fromLocal8Bit(std::strerror(why))));
    }
    return ProfileLock(descriptor);
}

ProfileLock::ProfileLock(ProfileLock &&other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
{
}

ProfileLock &ProfileLock::operator=(ProfileLock &&other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
    }
    return *this;
}

ProfileLock::~ProfileLock()
{
    // Closing the only descriptor of the file releases the lock.
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

} // namespace quillory
