#include "platform/freespace.h"

#include <QFileInfo>
#include <QStorageInfo>

namespace quillory {

std::optional<FreeSpace> FileSystemSpace::at(const QString &path) const
{
    QFileInfo place(QFileInfo(path).absoluteFilePath());
    while (!place.exists() && !place.isRoot())
        place = QFileInfo(place.absolutePath());
    const QStorageInfo storage(place.absoluteFilePath());
    if (!storage.isValid() || !storage.isReady())
        return std::nullopt;
    return FreeSpace{quint64(std::max<qint64>(0, storage.bytesAvailable())), storage.rootPath()};
}

} // namespace quillory
