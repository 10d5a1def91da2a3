#include "app/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace quillory {

QString programFolder()
{
    return programFolderFor(QCoreApplication::applicationDirPath());
}

QString programFolderFor(const QString &executableFolder)
{
    const QString installed = QDir::cleanPath(executableFolder + QLatin1Char('/') +
                                              QStringLiteral(QUILLORY_DATA_FROM_BIN));
    if (QFileInfo(installed).isDir())
        return installed;
    return QDir::cleanPath(executableFolder);
}

} // namespace quillory
