#include "restore/restoreitems.h"

namespace quillory {

const std::array<RestoreItemInfo, ItemCount> &restoreItemTable()
{
    static const std::array<RestoreItemInfo, ItemCount> table = {{
        {QStringLiteral("Copying Mail Accounts & Messages/News Accounts & Messages..."),
         QStringLiteral("Restore Mail Accounts & Messages/News Accounts & Messages")},
        {QStringLiteral("Copying Mail Rules..."), QStringLiteral("Restore Mail Rules")},
        {QStringLiteral("Copying Ldap Accounts..."), QStringLiteral("Restore Ldap Accounts")},
        {QStringLiteral("Copying News Rules..."), QStringLiteral("Restore News Rules")},
        {QStringLiteral("Copying Junk Mail Settings..."),
         QStringLiteral("Restore Junk Mail Settings")},
        {QStringLiteral("Copying Contacts..."), QStringLiteral("Restore Contacts")},
        {QStringLiteral("Copying Windows Live Mail Database..."),
         QStringLiteral("Restore Windows Live Mail Database")},
        {QStringLiteral("Copying Signatures..."), QStringLiteral("Restore Signatures")},
        {QStringLiteral("Copying Stationeries..."), QStringLiteral("Restore Stationeries")},
        {QStringLiteral("Copying Settings..."), QStringLiteral("Restore Settings")},
    }};
    return table;
}

bool isRegistryItem(int index)
{
    switch (index) {
    case ItemMailRules:
    case ItemNewsRules:
    case ItemJunkMail:
    case ItemSignatures:
    case ItemSettings:
        return true;
    default:
        return false;
    }
}

} // namespace quillory
