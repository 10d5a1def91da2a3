#include "app/stagingfolder.h"

#include "app/tempfile.h"

#include <QDir>

#include <unistd.h>

namespace quillory {

QString StagingFolder::namePrefix()
{
    return QStringLiteral("quillory-");
}

StagingFolder::StagingFolder()
    // QTemporaryDir creates the folder with mode 0700 already. The process id in the name lets
    // a later run remove what a killed one left.
    : m_dir(QDir(temporaryFolder())
                .filePath(namePrefix() + QString::number(::getpid()) + QStringLiteral("-XXXXXX")))
{
}

Result StagingFolder::status() const
{
    if (m_dir.isValid())
        return Result::success();
    return Result::failure(QStringLiteral("Cannot create a staging folder in %1: %2")
                               .arg(temporaryFolder(), m_dir.errorString()));
}

} // namespace quillory
