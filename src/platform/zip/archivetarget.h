#pragma once

#include "platform/result.h"

#include <QString>

namespace quillory::zipdetail {

// Whether an archive may be written at `path`: nothing is there, or a regular file. A symbolic
// link on the way, at the end or among the folders, is followed only as the kernel's
// protected-symlinks rule would follow it: the link is the user's own, or its folder is not a
// sticky folder that everybody may write in, or the link belongs to the folder's owner. The program
// follows links itself when it replaces the file they point to, so the kernel's own rule never gets
// to apply; without this, a link planted in /tmp by another user would turn a backup into a write
// over any file of the user's.
Result checkArchiveTarget(const QString &path);

} // namespace quillory::zipdetail
