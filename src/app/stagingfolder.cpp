#include "app/stagingfolder.h"

#include <QDir>

namespace quillory {

StagingFolder::StagingFolder()
    : m_dir(QDir(QDir::tempPath()).filePath(QStringLiteral("quillory-XXXXXX")))
{
    // QTemporaryDir creates the folder with mode 0700 already.
}

Result StagingFolder::status() const
{
    if (m_dir.isValid())
        return Result::success();
    return Result::failure(QStringLiteral("Cannot create a staging folder in %1: %2")
                               .arg(QDir::tempPath(), m_dir.errorString()));
}

} // namespace quillory
