#pragma once

#include "platform/result.h"
#include "platform/zip/ziparchive.h"

#include <QString>

namespace quillory {

// Replaces the folder `target` with the contents of the nested archive `entryName` of `outer`.
// The archive is extracted completely into a hidden folder beside the target first, on the same
// file system; only then do the two change places, in one step where the file system can do
// that, so that a kill at any moment leaves the target either the old folder or the new one,
// whole. The new folder is on disk before the swap, and the swap before this returns, so that a
// power cut cannot undo it once the old copy is gone. Any failure before the swap, and a sync that
// fails after it, leaves the old folder as it was. A symbolic link at `target` is replaced, never
// followed; a file there is left alone and the call fails. Returns the hidden folder, which then
// holds the old copy, for the caller to remove when it has time.
Expected<QString> replaceFolderFromNested(ZipArchive &outer, const QString &entryName,
                                          const QString &target, const QString &scratchFolder,
                                          const ZipArchive::ReadIncrement &progress = {});

} // namespace quillory
