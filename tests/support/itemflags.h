#pragma once

#include "app/itemtable.h"

#include <QString>

#include <initializer_list>

namespace quillory::test {

inline ItemFlags itemsOf(std::initializer_list<int> indexes)
{
    ItemFlags items{};
    for (int index : indexes)
        items[index] = true;
    return items;
}

// From ten characters "1"/"0", as jobs and command lines write them.
inline ItemFlags itemsOf(const QString &flags)
{
    ItemFlags items{};
    for (int i = 0; i < ItemCount && i < flags.size(); ++i)
        items[i] = flags.at(i) == QLatin1Char('1');
    return items;
}

inline ItemFlags allItems()
{
    ItemFlags items;
    items.fill(true);
    return items;
}

} // namespace quillory::test
