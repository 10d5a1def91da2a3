#pragma once

#include "platform/result.h"

#include <QString>

namespace quillory {

class WinePaths;

// The host path of the archive an unattended run's "bf=" names. A Windows path ("D:\b\mail.wlm",
// as the scheduler of the mail client's world writes it) goes through the prefix's drives as the
// store's paths do; a host path ("/srv/b/mail.wlm") is taken as it is. A relative path is
// refused: the run starts in a folder nobody chose.
Expected<QString> unattendedArchivePath(const WinePaths &paths, const QString &field);

} // namespace quillory
