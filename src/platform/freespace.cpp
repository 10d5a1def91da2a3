#include "platform/freespace.h"

#include <QFileInfo>
#include <QStorageInfo>

namespace quillory {

std::optional<FreeSpace> FileSystemSpace::at(const QString &path) const
{
    if (path.isEmpty())
        return std::nullopt;
    QString place = QFileInfo(path).absoluteFilePath();
    while (!QFileInfo::exists(place)) {
        const QString parent = QFileInfo(place).absolutePath();
        if (parent == place)
            return std::nullopt;
        place = parent;
    }
    const QStorageInfo storage(place);
    if (!storage.isValid() || !storage.isReady())
        return std::nullopt;
    return FreeSpace{quint64(std::max<qint64>(0, storage.bytesAvailable())), storage.rootPath()};
}

} // namespace quillory
