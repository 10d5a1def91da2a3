#include "app/itemtable.h"

namespace quillory {

const std::array<ItemInfo, ItemCount> &itemTable()
{
    static const std::array<ItemInfo, ItemCount> table = {{
        {QStringLiteral("Mail Accounts \x1e Messages/News Accounts \x1f Messages"),
         QStringLiteral("Backupmailaccountsandmessages"),
         QStringLiteral("Copying Email Mail Accounts & Messages/News Accounts & Messages..."),
         QStringLiteral("Backup Mail Accounts & Messages/News Accounts & Messages")},
        {QStringLiteral("Mail Rules"), QStringLiteral("BackupmailRules"),
         QStringLiteral("Copying Mail Rules..."), QStringLiteral("Backup Mail Rules")},
        {QStringLiteral("LDAP Accounts"), QStringLiteral("BackupldapAccounts"),
         QStringLiteral("Copying LDAP Accounts..."), QStringLiteral("Backup LDAP Accounts")},
        {QStringLiteral("Newsgroups Rules"), QStringLiteral("BackupnewsRules"),
         QStringLiteral("Copying News Rules..."), QStringLiteral("Backup News Rules")},
        {QStringLiteral("Junk Mail Settings"), QStringLiteral("Backupjunkmail"),
         QStringLiteral("Copying Junk Mail Settings..."),
         QStringLiteral("Backup Junk Mail Settings")},
        {QStringLiteral("Contacts"), QStringLiteral("BackupContacts"),
         QStringLiteral("Copying Contacts..."), QStringLiteral("Backup Contacts")},
        {QStringLiteral("Windows Live Mail Database"), QStringLiteral("Backupmaildatabase"),
         QStringLiteral("Copying Windows Live Mail Database..."),
         QStringLiteral("Backup Windows Live Mail Database")},
        {QStringLiteral("Signatures"), QStringLiteral("Backupsignatures"),
         QStringLiteral("Copying Signatures..."), QStringLiteral("Backup Signatures")},
        {QStringLiteral("Stationeries"), QStringLiteral("BackupStationeries"),
         QStringLiteral("Copying Stationeries..."), QStringLiteral("Backup Stationeries")},
        {QStringLiteral("Settings"), QStringLiteral("BackupSettings"),
         QStringLiteral("Copying Settings..."), QStringLiteral("Backup Settings")},
    }};
    return table;
}

QString itemName(int index)
{
    static const QString names[ItemCount] = {
        QStringLiteral("accounts"),  QStringLiteral("mailrules"),  QStringLiteral("ldap"),
        QStringLiteral("newsrules"), QStringLiteral("junkmail"),   QStringLiteral("contacts"),
        QStringLiteral("database"),  QStringLiteral("signatures"), QStringLiteral("stationeries"),
        QStringLiteral("settings"),
    };
    return names[index];
}

QString shownCaption(int index)
{
    QString caption = itemTable()[index].caption;
    return caption.replace(QChar(0x1e), QLatin1Char('&')).replace(QChar(0x1f), QLatin1Char('&'));
}

QString itemFlagsText(const ItemFlags &flags)
{
    QString text;
    for (bool flag : flags)
        text.append(flag ? QLatin1Char('1') : QLatin1Char('0'));
    return text;
}

} // namespace quillory
