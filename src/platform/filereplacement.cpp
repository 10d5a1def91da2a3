#include "platform/filereplacement.h"

#include "platform/runownedname.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace quillory {

namespace {

const QLatin1String replacementMark(".quillory-");

// `target` with every symbolic link at its end followed: the file a replacement goes to.
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

// A copy whose data is on disk before its name can stand for the file it copies.
bool copyToDisk(const QString &from, const QByteArray &to)
{
    if (!QFile::copy(from, QFile::decodeName(to)))
        return false;
    const int fd = ::open(to.constData(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
        ::unlink(to.constData());
    return synced;
}

// rename(2) that fails with EEXIST where `to` exists. File systems without RENAME_NOREPLACE
// get a hard link and an unlink, which never replace either; where neither is possible the name
// is looked at just before the rename.
bool renameWithoutReplacing(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (errno == EEXIST)
        return false;
    struct stat existing {};
    if (::lstat(to.constData(), &existing) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.constData(), to.constData()) == 0;
}

} // namespace

bool isPrivateFolder(const QString &folder)
{
    struct stat st {};
    return ::stat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           (st.st_mode & 077) == 0;
}

bool isOwnFolder(const QString &folder)
{
    struct stat st {};
    return ::stat(QFile::encodeName(folder).constData(), &st) != 0 || st.st_uid == ::geteuid();
}

void removeStaleReplacements(const QString &target)
{
    const QDir folder = QFileInfo(resolvedTarget(target)).dir();
    // Every file of the folder that a run now gone was making, whatever it was to replace: a
    // killed backup of another archive in the same folder left one as large as its archive.
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const qsizetype mark = name.lastIndexOf(replacementMark);
        if (mark <= 0 || !isRunOwnedTemporary(name))
            continue;
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        struct stat st {};
        // The rest is "PID@HOST-RANDOM", with a library's own ".XXXXXX" after it while it writes
        // the file by name.
        if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid() &&
            madeByGoneRun(QStringView(name).mid(mark + replacementMark.size())))
            ::unlink(path.constData());
    }
}

namespace {

// Opens `folder` and hands it to `sync`; `unsupported` is the error that counts as done.
Result syncThrough(const QString &folder, int (*sync)(int), int unsupported)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Result::failure(QStringLiteral("Cannot open the folder %1 to write it to disk: %2")
                                   .arg(folder, systemError(errno)));
    const int synced = sync(fd);
    const int error = errno;
    ::close(fd);
    if (synced != 0 && error != EINVAL && error != unsupported)
        return Result::failure(QStringLiteral("Cannot write the folder %1 to disk: %2")
                                   .arg(folder, systemError(error)));
    return Result::success();
}

} // namespace

Result syncFolder(const QString &folder)
{
    return syncThrough(folder, ::fsync, EOPNOTSUPP);
}

Result syncFileSystemOf(const QString &folder)
{
    return syncThrough(folder, ::syncfs, 0);
}

FileReplacement::FileReplacement(const QString &target, LinkAtTarget link)
    : m_target(link == LinkAtTarget::Followed ? resolvedTarget(target)
                                              : QFileInfo(target).absoluteFilePath())
{
}

FileReplacement::~FileReplacement()
{
    m_file.close();
    if (m_pending)
        QFile::remove(m_file.fileName());
}

Result FileReplacement::open(Access access)
{
    m_access = access;
    struct stat old {};
    // The old file's readers only, and its owner able to write the file: no one sees the new
    // contents who could not see the old.
    QFile::Permissions permissions =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
    const QString folder = QFileInfo(m_target).absolutePath();
    if (access == Access::AsTarget && !isPrivateFolder(folder) && isOwnFolder(folder)) {
        const bool replacing =
            ::stat(QFile::encodeName(m_target).constData(), &old) == 0 && S_ISREG(old.st_mode);
        // Without a file to replace, the umask decides, as for any new file the user makes.
        const mode_t mode = replacing ? old.st_mode : 0666;
        if (mode & S_IRGRP)
            permissions |= QFile::ReadGroup;
        if (mode & S_IWGRP)
            permissions |= QFile::WriteGroup;
        if (mode & S_IROTH)
            permissions |= QFile::ReadOther;
        if (mode & S_IWOTH)
            permissions |= QFile::WriteOther;
    }
    constexpr int attempts = 100;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        // The process id in the name lets a later run remove what a killed one left.
        m_file.setFileName(m_target + replacementMark + runOwnedSuffix());
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly, permissions)) {
            m_pending = true;
            return Result::success();
        }
        if (m_file.exists())
            continue;
        return Result::failure(QStringLiteral("Cannot create a file beside %1: %2")
                                   .arg(m_target, m_file.errorString()));
    }
    return Result::failure(QStringLiteral("Cannot find a free name beside %1.").arg(m_target));
}

Result FileReplacement::keepAccess(int fd)
{
    struct stat now {};
    struct stat old {};
    if (::fstat(fd, &now) != 0)
        return Result::failure(systemError(errno));
    mode_t mode = now.st_mode & 07777;
    if (m_access == Access::OwnerOnly) {
        mode = 0600;
    } else if (::stat(QFile::encodeName(m_target).constData(), &old) == 0 && S_ISREG(old.st_mode)) {
        // The owner first: changing it clears the set-id bits. A user may replace a file
        // of another owner or group in a folder of theirs; the file then becomes theirs, as
        // any editor's save would make it, and never keeps set-id bits meant for another.
        const bool otherOwner = now.st_uid != old.st_uid || now.st_gid != old.st_gid;
        const bool ownerKept = !otherOwner || ::fchown(fd, old.st_uid, old.st_gid) == 0;
        mode = old.st_mode & (ownerKept ? 07777 : 0777);
    } else if (isPrivateFolder(QFileInfo(m_target).absolutePath())) {
        mode = 0600;
    }
    // In a folder another user owns (a shared folder), that user can read whatever the mode lets
    // anyone read: only the owner keeps access.
    if (!isOwnFolder(QFileInfo(m_target).absolutePath()))
        mode &= 0700;
    if ((now.st_mode & 07777) != mode && ::fchmod(fd, mode) != 0)
        return Result::failure(
            QStringLiteral("its permissions cannot be kept: %1").arg(systemError(errno)));
    return Result::success();
}

// Whether a file was put at m_keepAs where none was before, for undoing it.
Expected<bool> FileReplacement::keepPrevious()
{
    if (m_keepAs.isEmpty())
        return false;
    const QByteArray target = QFile::encodeName(m_target);
    const QByteArray kept = QFile::encodeName(m_keepAs);
    struct stat previous {};
    struct stat existing {};
    if (::stat(target.constData(), &previous) != 0 || !S_ISREG(previous.st_mode))
        return false;
    const bool taken = ::lstat(kept.constData(), &existing) == 0;
    if (taken && existing.st_dev == previous.st_dev && existing.st_ino == previous.st_ino)
        return false;
    // Made under a name of its own first, so that a file already at m_keepAs goes only when the
    // whole copy is there; what a killed run left under such a name goes now.
    removeStaleReplacements(m_keepAs);
    const QByteArray staged = QFile::encodeName(m_keepAs + replacementMark + runOwnedSuffix());
    if (::link(target.constData(), staged.constData()) != 0 && !copyToDisk(m_target, staged))
        return Result::failure(
            QStringLiteral("the file it replaces cannot be kept as %1.").arg(m_keepAs));
    // A kept copy never takes the place of anything already there, be it another copy, a link
    // or a pipe: that name was free when chosen, and is taken only if it still is.
    if (taken || !renameWithoutReplacing(staged, kept)) {
        const int error = taken ? EEXIST : errno;
        ::unlink(staged.constData());
        return Result::failure(QStringLiteral("the file it replaces cannot be kept as %1: %2")
                                   .arg(m_keepAs, systemError(error)));
    }
    return true;
}

Result FileReplacement::commit(Durability durability)
{
    const auto failed = [this](const QString &why) {
        return Result::failure(
            QStringLiteral("%1 was not replaced, so it is as it was: %2").arg(m_target, why));
    };
    if (!m_pending || !m_file.isOpen())
        return failed(QStringLiteral("nothing was made to replace it."));
    if (!m_file.flush())
        return failed(m_file.errorString());
    const QByteArray path = QFile::encodeName(m_file.fileName());
    // A library that writes by name may have put a file of its own there.
    struct stat written {};
    struct stat named {};
    if (::fstat(m_file.handle(), &written) != 0 || ::lstat(path.constData(), &named) != 0)
        return failed(systemError(errno));
    const bool ours = written.st_dev == named.st_dev && written.st_ino == named.st_ino;
    if (!ours)
        m_file.close();
    const int fd =
        ours ? m_file.handle() : ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return failed(systemError(errno));
    Result done = keepAccess(fd);
    const bool sync = durability == Durability::Synced;
    if (done && sync && ::fsync(fd) != 0)
        done = Result::failure(
            QStringLiteral("it cannot be written to disk: %1").arg(systemError(errno)));
    if (ours) {
        m_file.close();
        if (done && m_file.error() != QFileDevice::NoError)
            done = Result::failure(m_file.errorString());
    } else if (::close(fd) != 0 && done) {
        done = Result::failure(systemError(errno));
    }
    if (!done)
        return failed(done.message());
    const Expected<bool> keptAnew = keepPrevious();
    if (!keptAnew)
        return failed(keptAnew.message());
    if (::rename(path.constData(), QFile::encodeName(m_target).constData()) != 0) {
        const int error = errno;
        if (*keptAnew)
            ::unlink(QFile::encodeName(m_keepAs).constData());
        return failed(QStringLiteral("it cannot take its place: %1").arg(systemError(error)));
    }
    m_pending = false;
    if (!sync)
        return Result::success();
    if (Result synced = syncFolder(QFileInfo(m_target).absolutePath()); !synced)
        return Result::failure(
            QStringLiteral("%1 was replaced, but may not survive a power cut: %2")
                .arg(m_target, synced.message()));
    return Result::success();
}

Result replaceFileContents(const QString &target, const QByteArray &contents, Access access,
                           LinkAtTarget link)
{
    FileReplacement replacement(target, link);
    if (Result opened = replacement.open(access); !opened)
        return opened;
    if (replacement.file().write(contents) != contents.size())
        return Result::failure(QStringLiteral("%1 was not replaced, so it is as it was: %2")
                                   .arg(replacement.target(), replacement.file().errorString()));
    return replacement.commit();
}

} // namespace quillory
