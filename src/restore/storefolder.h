#pragma once

#include "platform/result.h"

#include <QString>

namespace quillory {

class ZipArchive;

// Replaces the folder `target` with the contents of the archive file `archiveFile`, read on
// `Zip2`. The archive is extracted completely into a hidden folder beside the target first, on
// the same file system; only then is the old folder moved aside, the new one renamed into its
// place and the old one removed. Any failure before that swap leaves the old folder as it was.
// A symbolic link at `target` is replaced, never followed; a file there is left alone and the
// call fails.
Result replaceFolderFromArchive(ZipArchive &Zip2, const QString &archiveFile,
                                const QString &target);

// Removes a folder with everything below it, read-only folders included; links below it are
// removed, never followed.
bool removeFolderTree(const QString &folder);

} // namespace quillory
