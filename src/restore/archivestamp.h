#pragma once

#include <QString>

#include <optional>
#include <sys/types.h>

namespace quillory {

// What tells one version of an archive file from another: a backup writing the same name
// renames a new file into place (another inode), and an overwrite in place changes the size or
// the modification time.
struct ArchiveStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;

    bool operator==(const ArchiveStamp &) const = default;
};

// The stamp of the file at `path` now; nullopt when it cannot be read.
std::optional<ArchiveStamp> archiveStamp(const QString &path);

} // namespace quillory
