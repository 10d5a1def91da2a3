#pragma once

#include "app/itemtable.h"

#include <QString>

#include <array>

namespace quillory {

// What the restore side shows for each item, by index.
struct RestoreItemInfo {
    QString progress;   // progress text while the item is restored
    QString reportName; // name of the item's line in the run's report
};

const std::array<RestoreItemInfo, ItemCount> &restoreItemTable();

// Items kept in the registry (one registry text file each) rather than in files.
bool isRegistryItem(int index);

} // namespace quillory
