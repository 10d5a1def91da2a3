#pragma once

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillory::test {

// A child process that holds a POSIX write lock on a file, as a running wineserver holds its
// lock file. The lock is released when the object goes.
class LockHolder {
public:
    explicit LockHolder(const QString &path)
    {
        const QByteArray file = QFile::encodeName(path);
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(file.constData(), O_RDWR | O_CREAT, 0600);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            const char locked = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? '1' : '0';
            (void)!::write(ready[1], &locked, 1);
            char byte;
            (void)!::read(release[0], &byte, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        char locked = '0';
        m_holding = m_pid > 0 && ::read(ready[0], &locked, 1) == 1 && locked == '1';
        ::close(ready[0]);
        m_release = release[1];
    }
    ~LockHolder() { release(); }

    qint64 pid() const { return m_pid; }
    bool isHolding() const { return m_holding; }
    void release()
    {
        if (m_release < 0)
            return;
        ::close(m_release);
        m_release = -1;
        ::waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_holding = false;
};

inline QString serverFolderName(const QString &prefix)
{
    struct stat st {};
    ::stat(QFile::encodeName(prefix).constData(), &st);
    return QStringLiteral("server-%1-%2")
        .arg(quint64(st.st_dev), 0, 16)
        .arg(quint64(st.st_ino), 0, 16);
}

} // namespace quillory::test
