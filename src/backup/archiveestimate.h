#pragma once

#include "app/itemtable.h"
#include "backup/storefiles.h"

#include <QtGlobal>

namespace quillory {

struct StoreLocations;

struct ArchiveEstimate {
    // The backup archive.
    quint64 bytes = 0;
    // What the run stages in the temporary folder: the registry exports and the backup
    // information file. The nested archives go straight into the archive.
    quint64 staged = 0;
    // Held beside the archive while an account is taken in, at most: its largest entry, which
    // waits there until the nested archive's writer has finished it.
    quint64 beside = 0;
};

// About how large the archive of `items` from `store` will be, from the files' sizes and how a
// sample of each kind of file compresses. Reads a bounded share of the files, whatever the size
// of the store, and writes nothing; safe on any thread.
// With `checks`, the account folders are also checked as a backup checks them, and what was found
// is kept there by folder.
ArchiveEstimate estimateArchive(const StoreLocations &store, const ItemFlags &items, bool protect,
                                FolderChecks *checks = nullptr);

} // namespace quillory
