#include "cli/itemlist.h"

#include <QStringList>

namespace quillory {

namespace {

int itemIndex(const QString &word)
{
    bool isNumber = false;
    const int number = word.toInt(&isNumber);
    if (isNumber)
        return number >= 0 && number < ItemCount ? number : -1;
    for (int index = 0; index < ItemCount; ++index)
        if (itemName(index) == word.toLower())
            return index;
    return -1;
}

} // namespace

QString itemCaption(int index)
{
    // Item 0's caption carries separator characters meant for a check box.
    QString caption = itemTable()[index].caption;
    caption.replace(QChar(0x1e), QLatin1Char('/')).replace(QChar(0x1f), QLatin1Char('/'));
    return caption;
}

Expected<ItemFlags> parseItemList(const QString &list)
{
    ItemFlags items{};
    const QStringList parts = list.split(QLatin1Char(','));
    for (const QString &part : parts) {
        const int index = itemIndex(part.trimmed());
        if (index < 0)
            return Result::failure(QStringLiteral("\"%1\" is not an item").arg(part.trimmed()));
        items[index] = true;
    }
    return items;
}

} // namespace quillory
