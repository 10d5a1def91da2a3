#include "platform/disc/imagefiledrives.h"

#include <QDir>
#include <QFileInfo>

namespace quillory {

QStringList imageFileDrives()
{
    return usableImageFileDrives(qEnvironmentVariable("QUILLORY_DISC_DRIVES"));
}

QStringList usableImageFileDrives(const QString &list)
{
    QStringList paths;
    for (const QString &entry : list.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (!QDir::isAbsolutePath(entry))
            continue;
        const QString path = QDir::cleanPath(entry);
        const QFileInfo info(path);
        // libburn would take a folder or a pipe as a drive that swallows whatever is written.
        const bool usable = info.exists() ? info.isFile() && !info.isSymLink()
                                          : QFileInfo(info.absolutePath()).isDir();
        if (usable && !paths.contains(path))
            paths.append(path);
    }
    return paths;
}

} // namespace quillory
