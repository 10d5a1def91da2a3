#pragma once

#include <QByteArray>

#include <cstddef>
#include <sys/types.h>

namespace quillory::zipdetail {

// What a file written from an archive would be.
struct FileContents {
    const char *data = nullptr;
    size_t size = 0;
    // Seconds since the epoch, whole.
    qint64 modified = 0;
    // The permission bits the new file would get, the process's umask applied.
    mode_t mode = 0;
};

// Makes `target` a second name of the file `existing` when that file already is exactly what
// `contents` describes: the same bytes, time and permissions, owned by this user and known by no
// other name. Restoring over a folder whose files have not changed then writes nothing and
// allocates nothing, and removing the old folder later frees nothing. The existing file is only
// read. Returns false, with nothing made, when the file differs or cannot be linked.
bool linkUnchangedFile(const QByteArray &existing, const QByteArray &target,
                       const FileContents &contents);

// The permission bits a file created with `requested` gets in this process.
mode_t createdMode(mode_t requested);

} // namespace quillory::zipdetail
