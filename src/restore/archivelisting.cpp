#include "restore/archivelisting.h"

#include "platform/zip/ziparchive.h"
#include "platform/zip/zipentry.h"
#include "registry/modreg.h"
#include "registry/registrytextline.h"
#include "restore/itementries.h"
#include "restore/openedbackup.h"
#include "restore/restoreitems.h"

#include <QMap>
#include <QSet>

namespace quillory {

namespace {

AccountListing countMessages(const QString &folder, const QList<ZipArchive::NestedEntry> &entries)
{
    const auto parentOf = [](const QString &path) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        return slash < 0 ? QStringLiteral(".") : path.left(slash);
    };
    QMap<QString, MessageFolderListing> folders;
    for (const ZipArchive::NestedEntry &entry : entries) {
        QString name = entry.name;
        while (name.endsWith(QLatin1Char('/')))
            name.chop(1);
        if (entry.folder) {
            folders[name].name = name;
            continue;
        }
        if (!name.endsWith(QLatin1String(".eml"), Qt::CaseInsensitive))
            continue;
        MessageFolderListing &messages = folders[parentOf(name)];
        messages.name = parentOf(name);
        ++messages.messages;
        messages.bytes += entry.size;
    }
    AccountListing account{folder, folders.values(), 0, 0};
    for (const MessageFolderListing &messages : std::as_const(account.messageFolders)) {
        account.messages += messages.messages;
        account.bytes += messages.bytes;
    }
    return account;
}

// Counts as an import reads: a text value may go on in the lines after it, and an empty line
// ends the file. A key named twice is one key.
void countRegistryText(const QByteArray &text, ItemListing &item)
{
    QSet<QByteArray> keys;
    bool textGoesOn = false;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const bool keyLine = line.startsWith('\\');
        if (textGoesOn && !keyLine && !isValueLine(line))
            continue;
        textGoesOn = false;
        if (line.isEmpty())
            break;
        if (keyLine) {
            keys.insert(line);
        } else if (isValueLine(line)) {
            ++item.values;
            textGoesOn = isContinuedText(line);
        }
    }
    item.keys = quint64(keys.size());
}

} // namespace

Expected<QList<ItemListing>> listArchive(ZipArchive &Zip1, const OpenedBackup &state,
                                         const QString &scratchFolder)
{
    const QStringList names = Zip1.entryNames();
    const QSet<QString> archiveEntries(names.begin(), names.end());
    QList<ItemListing> items;
    for (int index = 0; index < ItemCount; ++index) {
        ItemListing &item = items.emplace_back();
        item.index = index;
        item.held = state.held[index];
        if (!item.held)
            continue;
        const Expected<QStringList> entries = itemEntries(state, index, archiveEntries);
        if (!entries)
            return entries.result();
        for (const QString &name : *entries) {
            if (index == ItemMailAccounts && isFolderArchive(name)) {
                const Expected<QList<ZipArchive::NestedEntry>> nested =
                    Zip1.NestedEntries(name, scratchFolder);
                if (!nested)
                    return nested.result();
                item.accounts.append(countMessages(folderOfArchive(name), *nested));
                continue;
            }
            const Expected<ZipEntry> entry = Zip1.FindEntry(name);
            if (!entry)
                return entry.result();
            if (!isRegistryItem(index)) {
                item.files.append({name, entry->size()});
                continue;
            }
            const Expected<QByteArray> text = entry->read(quint64(maxRegistryTextSize));
            if (!text)
                return text.result();
            countRegistryText(*text, item);
        }
    }
    return items;
}

} // namespace quillory
