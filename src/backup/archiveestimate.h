#pragma once

#include "app/itemtable.h"

#include <QtGlobal>

namespace quillory {

struct StoreLocations;

struct ArchiveEstimate {
    // The backup archive.
    quint64 bytes = 0;
    // The most the run stages in the temporary folder at one time: the registry exports, the
    // backup information file, and the nested archives of the largest accounts, as many as are
    // built ahead of the one being taken in.
    quint64 staged = 0;
};

// About how large the archive of `items` from `store` will be, from the files' sizes and how a
// sample of each kind of file compresses. Reads a bounded share of the files, whatever the size
// of the store, and writes nothing; safe on any thread.
ArchiveEstimate estimateArchive(const StoreLocations &store, const ItemFlags &items, bool protect);

} // namespace quillory
