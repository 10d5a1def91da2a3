#pragma once

#include <QString>

namespace quillory {

// The folder for temporary files: $TMPDIR when it names an existing folder by an absolute path,
// else the system's (/tmp), never the working folder.
QString temporaryFolder();

// Creates a new, empty file named from the first three characters of the prefix, a
// hexadecimal number and ".tmp", readable by its owner only, in `folder` (the run's staging
// folder; the system temporary folder when empty). Returns its full path, or the empty text
// when no file could be created.
QString sGetTempFile(const QString &sPrefix, const QString &folder = QString());

} // namespace quillory
