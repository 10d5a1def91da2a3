#pragma once

#include "platform/result.h"
#include "platform/zip/entryinfo.h"

#include <QString>

namespace quillory::zipdetail {

// Writes an entry's data to the file `target` and gives it the entry's modification time. A file
// already there is replaced by a complete copy written beside it and renamed into place, so that
// a failure leaves it as it was; a new file that fails half-way is removed again. Symbolic links
// are not written through: the entry would land outside the folder it was meant for. `password`
// is the one the archive was opened with.
Result writeEntryFile(zip_t *archive, const EntryInfo &entry, const QString &target,
                      const QByteArray &password);

} // namespace quillory::zipdetail
