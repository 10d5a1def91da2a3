#pragma once

#include <QString>

#include <array>

namespace quillory {

// The ten kinds of data, by index: the same index for the check boxes of both tabs and of the
// scheduler, the item flags, the command line and the processing order.
constexpr int ItemCount = 10;

enum Item : int {
    ItemMailAccounts = 0,
    ItemMailRules = 1,
    ItemLdapAccounts = 2,
    ItemNewsRules = 3,
    ItemJunkMail = 4,
    ItemContacts = 5,
    ItemMailDatabase = 6,
    ItemSignatures = 7,
    ItemStationeries = 8,
    ItemSettings = 9,
};

struct ItemInfo {
    QString caption;  // check box caption
    QString listKey;  // key of the item's list line in the backup information file
    QString status;   // progress text while the item is backed up
    QString logLabel; // label of the item's line in the run's report
};

const std::array<ItemInfo, ItemCount> &itemTable();

// The caption as it is drawn: the separators of item 0 read "&", as its status text and log
// label spell it.
QString shownCaption(int index);
// The item's short name without blanks, as the command line and the run records give it.
QString itemName(int index);

// Item flags: ten characters "1"/"0", one per index.
using ItemFlags = std::array<bool, ItemCount>;
QString itemFlagsText(const ItemFlags &flags);

} // namespace quillory
