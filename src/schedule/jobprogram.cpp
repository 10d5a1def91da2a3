#include "schedule/jobprogram.h"

#include "app/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quillory {

namespace {

const QString programName = QStringLiteral("brevnor");

} // namespace

QString jobProgramPath(const QString &runningFolder, const QStringList &searchPath,
                       const QString &installedBinFolder)
{
    const QString running = QDir(runningFolder).absoluteFilePath(programName);
    // An installed program has its data beside its folder; a build tree has it inside.
    if (programFolderFor(runningFolder) != QDir::cleanPath(runningFolder))
        return running;
    if (!searchPath.isEmpty()) {
        const QString onPath = QStandardPaths::findExecutable(programName, searchPath);
        if (!onPath.isEmpty())
            return onPath;
    }
    const QString installed = QDir(installedBinFolder).absoluteFilePath(programName);
    if (QFileInfo(installed).isExecutable())
        return installed;
    return running;
}

QString jobProgramPath()
{
    const QString path = QString::fromLocal8Bit(qgetenv("PATH"));
    return jobProgramPath(QCoreApplication::applicationDirPath(),
                          path.split(QLatin1Char(':'), Qt::SkipEmptyParts),
                          QStringLiteral(QUILLORY_INSTALLED_BIN));
}

} // namespace quillory
