#include "cli/listcommand.h"

#include "app/programcontext.h"
#include "app/stagingfolder.h"
#include "cli/archiveopening.h"
#include "cli/clioptions.h"
#include "cli/exitstatus.h"
#include "cli/itemlist.h"
#include "cli/passwordinput.h"
#include "platform/zip/ziparchive.h"
#include "restore/archivelisting.h"
#include "restore/openedbackup.h"
#include "restore/restoreitems.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quillory {

namespace {

QString count(quint64 number, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(number).arg(QLatin1String(number == 1 ? one : many));
}

QString messagesAndBytes(quint64 messages, quint64 bytes)
{
    return count(messages, "message", "messages") + QStringLiteral(", ") +
           count(bytes, "byte", "bytes");
}

void printText(const QString &archive, const QList<ItemListing> &items, QTextStream &out)
{
    out << "Archive: " << archive << '\n';
    for (const ItemListing &item : items) {
        out << item.index << ' ' << itemName(item.index) << " (" << itemCaption(item.index) << ")";
        if (!item.held) {
            out << ": not held\n";
            continue;
        }
        if (isRegistryItem(item.index)) {
            out << ": " << count(item.keys, "key", "keys") << ", "
                << count(item.values, "value", "values") << '\n';
            continue;
        }
        out << '\n';
        for (const AccountListing &account : item.accounts) {
            out << "  account \"" << account.folder
                << "\": " << messagesAndBytes(account.messages, account.bytes) << '\n';
            for (const MessageFolderListing &folder : account.messageFolders)
                out << "    " << folder.name << ": "
                    << messagesAndBytes(folder.messages, folder.bytes) << '\n';
        }
        for (const FileListing &file : item.files)
            out << "  " << file.name << ": " << count(file.size, "byte", "bytes") << '\n';
    }
}

QJsonObject itemObject(const ItemListing &item)
{
    QJsonObject object{{QStringLiteral("index"), item.index},
                       {QStringLiteral("name"), itemName(item.index)},
                       {QStringLiteral("held"), item.held}};
    if (!item.held)
        return object;
    if (isRegistryItem(item.index)) {
        object.insert(QStringLiteral("keys"), qint64(item.keys));
        object.insert(QStringLiteral("values"), qint64(item.values));
        return object;
    }
    if (item.index == ItemMailAccounts) {
        QJsonArray accounts;
        for (const AccountListing &account : item.accounts) {
            QJsonArray folders;
            for (const MessageFolderListing &folder : account.messageFolders)
                folders.append(QJsonObject{{QStringLiteral("name"), folder.name},
                                           {QStringLiteral("messages"), qint64(folder.messages)},
                                           {QStringLiteral("bytes"), qint64(folder.bytes)}});
            accounts.append(QJsonObject{{QStringLiteral("folder"), account.folder},
                                        {QStringLiteral("messages"), qint64(account.messages)},
                                        {QStringLiteral("bytes"), qint64(account.bytes)},
                                        {QStringLiteral("messageFolders"), folders}});
        }
        object.insert(QStringLiteral("accounts"), accounts);
    }
    QJsonArray files;
    for (const FileListing &file : item.files)
        files.append(QJsonObject{{QStringLiteral("name"), file.name},
                                 {QStringLiteral("size"), qint64(file.size)}});
    object.insert(QStringLiteral("files"), files);
    return object;
}

} // namespace

int runListCommand(ProgramContext &context, const CliOptions &options, QTextStream &out,
                   QTextStream &err)
{
    PasswordInput passwords(options.passwordFile);
    ZipArchive Zip1;
    OpenedBackup state;
    if (!openForCommand(context, Zip1, options.archive, passwords, state, err))
        return CliExit::Refused;
    const Expected<QList<ItemListing>> items = listArchive(Zip1, state, context.staging().path());
    context.endStaging();
    if (!items) {
        err << "brevnor-cli: " << options.archive << " is damaged: " << items.message() << '\n';
        return CliExit::Refused;
    }
    if (!options.json) {
        printText(options.archive, *items, out);
        return CliExit::Success;
    }
    QJsonArray array;
    for (const ItemListing &item : *items)
        array.append(itemObject(item));
    out << QJsonDocument(QJsonObject{{QStringLiteral("archive"), options.archive},
                                     {QStringLiteral("items"), array}})
               .toJson(QJsonDocument::Indented);
    return CliExit::Success;
}

} // namespace quillory
