#include "restore/archivestamp.h"

#include <QFile>

#include <sys/stat.h>

namespace quillory {

std::optional<ArchiveStamp> archiveStamp(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return ArchiveStamp{info.st_dev, info.st_ino, info.st_size,
                        info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec};
}

} // namespace quillory
