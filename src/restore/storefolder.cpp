#include "restore/storefolder.h"

#include "platform/runownedname.h"
#include "platform/zip/ziparchive.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

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

Result replaceFolderFromArchive(ZipArchive &Zip2, const QString &archiveFile, const QString &target)
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

    Result done = Zip2.OpenArchive(archiveFile);
    if (done)
        done = Zip2.ExtractAll(fresh);
    Zip2.CloseArchive();
    const bool hadOld = existing.exists() || existing.isSymLink();
    if (done && hadOld && !rename(target, old))
        done = Result::failure(QStringLiteral("Cannot move %1 aside to replace it.").arg(target));
    if (done && !rename(fresh, target)) {
        if (hadOld && !rename(old, target))
            // The old folder is kept where it is, for the user to move back.
            return Result::failure(
                QStringLiteral("Cannot move the restored folder into %1, nor the old one back: "
                               "it is kept as %2.")
                    .arg(target, old));
        done =
            Result::failure(QStringLiteral("Cannot move the restored folder into %1.").arg(target));
    }
    if (!removeFolderTree(*work) && done)
        done = Result::failure(
            QStringLiteral("%1 was restored, but its old copy in %2 could not be removed.")
                .arg(target, *work));
    return done;
}

} // namespace quillory
