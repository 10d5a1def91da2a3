#include "restore/storefolder.h"

#include "platform/runownedname.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <fcntl.h>

namespace quillory {

namespace {

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
        if (parent.mkdir(name))
            return parent.filePath(name);
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

} // namespace

bool removeFolderTree(const QString &folder)
{
    // Only the folders' own permissions decide whether their entries can be removed.
    QDirIterator it(folder, QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QFile::setPermissions(folder, QFile::permissions(folder) | QFile::ReadOwner |
                                      QFile::WriteOwner | QFile::ExeOwner);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!it.fileInfo().isSymLink())
            QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOwner |
                                            QFile::WriteOwner | QFile::ExeOwner);
    }
    return QDir(folder).removeRecursively();
}

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
    const QString fresh = QDir(*work).filePath(QStringLiteral("new"));
    const QString old = QDir(*work).filePath(QStringLiteral("old"));

    Result done = outer.ExtractNested(entryName, fresh, scratchFolder, progress);
    const bool hadOld = existing.exists() || existing.isSymLink();
    if (done && hadOld && !exchange(fresh, target)) {
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
    return *work;
}

} // namespace quillory
