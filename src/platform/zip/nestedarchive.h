#pragma once

#include "platform/result.h"
#include "platform/zip/entryinfo.h"
#include "platform/zip/libziphandles.h"

namespace quillory::zipdetail {

// Whether `openNestedSource` can read the entry where it lies: only a stored entry, plain or
// under WinZip AES, is the nested archive's bytes at a fixed place in the outer file.
bool readableInPlace(const EntryInfo &entry);

// The bytes of the zip archive that `outer` holds as `entry` (see `readableInPlace`), as a
// seekable libzip source that reads straight from the outer archive's file, with no copy made. A
// WinZip AES entry is decrypted as it is read; its authentication code covers the whole entry and
// so is not checked here: check the entry first (`checkEntry`). The nested archive's own entries
// carry their CRCs. `outer` must stay open as long as the nested archive does, and both are used by
// one thread.
Expected<SourceHandle> openNestedSource(zip_t *outer, const EntryInfo &entry,
                                        const QByteArray &password);

} // namespace quillory::zipdetail
