#include "restore/storefolder.h"

#include "platform/filereplacement.h"
#include "platform/foldertree.h"
#include "platform/runownedname.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace quillory {

namespace {

// Asks ext2/3/4 to place the folders made in `folder` in block groups of their own, away from its
// parent's. Without a journal, ext4 passes over every inode freed in the last minutes each time it
// creates a file in a group; a store whose accounts were replaced or removed a moment ago would
// have every new file pay for each of those. Other file systems refuse the flag, which is harmless.
void spreadFoldersMadeIn(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && !(flags & FS_TOPDIR_FL)) {
        flags |= FS_TOPDIR_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
}

// A new, hidden, empty folder beside `target` with a name nothing else uses. Being beside it
// keeps it on the target's file system, so that renames between the two cannot fail half-way.
// The process id in the name lets a later run finish what a killed one left.
Expected<QString> createWorkFolder(const QString &target)
{
    const QFileInfo info(target);
    const QDir parent = info.dir();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString name =
            QStringLiteral(".%1.restoring-%2").arg(info.fileName(), runOwnedSuffix());
        if (parent.mkdir(name)) {
            spreadFoldersMadeIn(parent.filePath(name));
            return parent.filePath(name);
        }
    }
    return Result::failure(
        QStringLiteral("Cannot create a folder beside %1 to restore it into.").arg(target));
}

// The system's own rename: a folder or link moves as it is, or not at all, and is never copied.
bool rename(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// Swaps two names in one step: the old folder ends up where the new one was.
bool exchange(const QString &a, const QString &b)
{
    return ::renameat2(AT_FDCWD, QFile::encodeName(a).constData(), AT_FDCWD,
                       QFile::encodeName(b).constData(), RENAME_EXCHANGE) == 0;
}

// Undoes a swap whose sync failed: the old folder (none when `old` is empty) takes its place again,
// and the new one goes back to `fresh`.
bool undoSwap(const QString &fresh, const QString &target, const QString &old, bool exchanged)
{
    if (exchanged)
        return exchange(fresh, target);
    return rename(target, fresh) && (old.isEmpty() || rename(old, target));
}

} // namespace

Expected<QString> replaceFolderFromNested(ZipArchive &outer, const QString &entryName,
                                          const QString &target, const QString &scratchFolder,
                                          const ZipArchive::ReadIncrement &progress)
{
    const QFileInfo existing(target);
    if (existing.exists() && !existing.isDir() && !existing.isSymLink())
        return Result::failure(
            QStringLiteral("%1 is a file, where the backup has a folder.").arg(target));
    const Expected<QString> work = createWorkFolder(target);
    if (!work)
        return work.result();
    // The block group the file system picks for a spread folder depends on its name; a name of its
    // own each time keeps it from landing where the last restore's copies were just removed.
    const QString fresh = QDir(*work).filePath(QStringLiteral("new-%1").arg(
        QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    const QString old = QDir(*work).filePath(QStringLiteral("old"));

    const bool hadOld = existing.exists() || existing.isSymLink();
    // Messages that have not changed since the backup are taken over from the old folder by a
    // second name: nothing to write now, nothing to free when the old copy goes.
    Result done = outer.ExtractNested(entryName, fresh, scratchFolder, target, progress);
    // On disk before it takes the old folder's place: a power cut after the swap must not find
    // the new folder's files empty.
    if (done)
        done = syncFileSystemOf(fresh);
    const bool exchanged = done && hadOld && exchange(fresh, target);
    if (done && hadOld && !exchanged) {
        // Where the file system cannot exchange, the old folder is moved aside first; a run
        // killed in between has it put back by the next one.
        if (!rename(target, old))
            done =
                Result::failure(QStringLiteral("Cannot move %1 aside to replace it.").arg(target));
        else if (!rename(fresh, target)) {
            if (!rename(old, target))
                // The old folder is kept where it is, for the user to move back.
                return Result::failure(
                    QStringLiteral("Cannot move the restored folder into %1, nor the old one "
                                   "back: it is kept as %2.")
                        .arg(target, old));
            done = Result::failure(
                QStringLiteral("Cannot move the restored folder into %1.").arg(target));
        }
    } else if (done && !hadOld && !rename(fresh, target)) {
        done =
            Result::failure(QStringLiteral("Cannot move the restored folder into %1.").arg(target));
    }
    if (!done) {
        removeFolderTree(*work);
        return done;
    }
    // The swap on disk before the caller removes the old copy. The rename changed both folders.
    Result synced = syncFolder(QFileInfo(target).absolutePath());
    if (synced)
        synced = syncFolder(*work);
    if (synced)
        return *work;
    if (!undoSwap(fresh, target, hadOld ? old : QString(), exchanged))
        return Result::failure(
            QStringLiteral("%1 was restored but may not survive a power cut (%2), and the old "
                           "folder could not be put back: it is kept in %3.")
                .arg(target, synced.message(), *work));
    removeFolderTree(*work);
    return Result::failure(
        QStringLiteral("%1 is left as it was: %2").arg(target, synced.message()));
}

} // namespace quillory
