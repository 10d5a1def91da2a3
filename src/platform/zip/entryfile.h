#pragma once

#include "platform/filereplacement.h"
#include "platform/result.h"
#include "platform/zip/entryinfo.h"

#include <QString>

namespace quillory::zipdetail {

// Writes an entry's data to the file `target` and gives it the entry's modification time. A file
// already there is replaced through a FileReplacement, so that a failure leaves it as it was and
// the new file is on disk before the old one goes. A new file is written the same way, unless
// `newFiles` is `Unsynced`: then it is written in place for the caller to sync with the rest of
// its folder, and removed again if it fails half-way. Symbolic links are not written through: the
// entry would land outside the folder it was meant for. `password` is the one the archive was
// opened with.
Result writeEntryFile(zip_t *archive, const EntryInfo &entry, const QString &target,
                      const QByteArray &password, Durability newFiles);

} // namespace quillory::zipdetail
