#include "platform/foldertree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

namespace quillory {

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

} // namespace quillory
