#pragma once

#include <QStringList>

namespace quillory {

// The image files that stand in for drives: the paths listed in QUILLORY_DISC_DRIVES, separated
// by ":". A path counts when it is a regular file or names a file that does not exist yet in an
// existing folder; folders, devices, pipes and relative paths are left out.
QStringList imageFileDrives();
QStringList usableImageFileDrives(const QString &list);

} // namespace quillory
