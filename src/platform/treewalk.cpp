#include "platform/treewalk.h"

#include <QFile>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quillory {

namespace {

struct DirCloser {
    void operator()(DIR *dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

class TreeWalk {
public:
    TreeWalk(const QString &root, WalkOptions options,
             const std::function<Result(const WalkedEntry &)> &visit)
        : m_root(root), m_options(options), m_visit(visit)
    {
    }

    Result walk()
    {
        const int fd = ::open(QFile::encodeName(m_root).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return errno == ENOENT || errno == ENOTDIR
                       ? Result::failure(
                             QStringLiteral("The folder %1 does not exist.").arg(m_root))
                       : unreadableFolder(QString());
        return walkFolder(fd, QString());
    }

private:
    Result unreadableFolder(const QString &relative) const
    {
        return Result::failure(
            QStringLiteral("The folder %1 cannot be read.").arg(fullPath(relative)));
    }
    QString fullPath(const QString &relative) const
    {
        return relative.isEmpty() ? m_root : m_root + QLatin1Char('/') + relative;
    }

    // Takes over `fd`, an open folder.
    Result walkFolder(int fd, const QString &relative)
    {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || ::faccessat(fd, ".", R_OK | X_OK, AT_EACCESS) != 0) {
            ::close(fd);
            return unreadableFolder(relative);
        }
        m_entered.insert({st.st_dev, st.st_ino});
        const DirHandle dir(::fdopendir(fd));
        if (!dir) {
            ::close(fd);
            return unreadableFolder(relative);
        }
        for (;;) {
            errno = 0;
            const dirent *found = ::readdir(dir.get());
            if (!found) {
                if (errno != 0)
                    return unreadableFolder(relative);
                return Result::success();
            }
            const char *name = found->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            if (Result met = meet(::dirfd(dir.get()), name, relative); !met)
                return met;
        }
    }

    Result meet(int folderFd, const char *name, const QString &folderRelative)
    {
        struct stat st {};
        const QByteArray bytes(name);
        const QString decoded = QFile::decodeName(bytes);
        const bool undecodable = QFile::encodeName(decoded) != bytes;
        const QString shown = undecodable ? escapedName(bytes) : decoded;
        const QString relative =
            folderRelative.isEmpty() ? shown : folderRelative + QLatin1Char('/') + shown;
        if (::fstatat(folderFd, name, &st, 0) != 0) {
            // A link to nothing, or to a link that leads round: nothing to keep.
            if (errno == ENOENT || errno == ELOOP || errno == ENOTDIR)
                return Result::success();
            return Result::failure(QStringLiteral("The file %1 cannot be read: %2")
                                       .arg(fullPath(relative), systemError(errno)));
        }
        const bool folder = S_ISDIR(st.st_mode);
        if (!folder && !S_ISREG(st.st_mode))
            return Result::success();
        if (undecodable) {
            WalkedEntry told{relative, folder, quint64(st.st_size), st.st_mtime, st.st_mode};
            told.undecodable = true;
            return m_visit(told);
        }
        if (folder && (!m_options.testFlag(WalkOption::Recurse) ||
                       m_entered.contains({st.st_dev, st.st_ino})))
            return Result::success();
        if (!folder && m_options.testFlag(WalkOption::RequireReadable))
            if (const int error = firstByteError(folderFd, name); error != 0)
                return Result::failure(QStringLiteral("The file %1 cannot be read: %2")
                                           .arg(fullPath(relative), systemError(error)));
        if (Result visited =
                m_visit({relative, folder, quint64(st.st_size), st.st_mtime, st.st_mode});
            !visited)
            return visited;
        if (!folder)
            return Result::success();
        const int fd = ::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return unreadableFolder(relative);
        return walkFolder(fd, relative);
    }

    const QString m_root;
    const WalkOptions m_options;
    const std::function<Result(const WalkedEntry &)> &m_visit;
    QSet<std::pair<dev_t, ino_t>> m_entered;
};

} // namespace

QString escapedName(const QByteArray &bytes)
{
    QString shown;
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x20 || code >= 0x7f)
            shown += QStringLiteral("\\x") +
                     QString::number(code, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            shown += QLatin1Char(byte);
    }
    return shown;
}

int firstByteError(int folderFd, const char *name)
{
    const int fd = ::openat(folderFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno;
    char first = 0;
    const int error = ::read(fd, &first, 1) < 0 && errno != EAGAIN ? errno : 0;
    ::close(fd);
    return error;
}

Result walkTree(const QString &root, WalkOptions options,
                const std::function<Result(const WalkedEntry &)> &visit)
{
    return TreeWalk(root, options, visit).walk();
}

} // namespace quillory
