#pragma once

#include "app/itemtable.h"
#include "platform/result.h"

#include <QString>

namespace quillory {

// The items on the command line: each by its index or by its name (itemName).
// The check box caption, in words a terminal can show.
QString itemCaption(int index);

// A comma-separated list of items, such as "0,mailrules,5".
Expected<ItemFlags> parseItemList(const QString &list);

} // namespace quillory
