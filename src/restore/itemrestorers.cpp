#include "restore/itemrestorers.h"

#include "app/itemproblems.h"
#include "app/programcontext.h"
#include "app/stagingfolder.h"
#include "app/storediscovery.h"
#include "platform/filereplacement.h"
#include "platform/zip/ziparchive.h"
#include "platform/zip/zipentry.h"
#include "registry/modreg.h"
#include "restore/accountfolders.h"
#include "restore/itementries.h"
#include "restore/openedbackup.h"

#include <QDir>
#include <QFileInfo>

namespace quillory {

namespace {

Result requireFolder(const QString &folder)
{
    if (folder.isEmpty())
        return Result::failure(QStringLiteral("The folder to restore into is not known."));
    if (!QFileInfo(folder).isDir())
        return missingFolder(folder);
    return Result::success();
}

// Creates only the last level: a missing parent means the mail client is not set up as the
// backup expects, and guessing the rest of the path could put files where it never looks.
Result createFolder(const QString &folder)
{
    if (folder.isEmpty() || QFileInfo(folder).isDir())
        return requireFolder(folder);
    if (!QDir().mkdir(folder))
        return Result::failure(QStringLiteral("Cannot create the folder %1.").arg(folder));
    // Its name on disk, as the files restored into it will be.
    return syncFolder(QFileInfo(folder).absolutePath());
}

// The folders below the store or the stationery folder are the profile's own: a symbolic link
// there may lead anywhere, outside the profile too, so nothing is restored through one.
Result checkNoLinkBelow(const QString &root, const QString &folder)
{
    const QString relative = QDir(root).relativeFilePath(folder);
    QString path = QDir::cleanPath(root);
    for (const QString &part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".."))
            return Result::success();
        path += QLatin1Char('/') + part;
        if (QFileInfo(path).isSymLink())
            return Result::failure(
                QStringLiteral("%1 is a symbolic link; nothing is restored through it.").arg(path));
    }
    return Result::success();
}

} // namespace

ItemRestorers::ItemRestorers(ProgramContext &context, ZipArchive &Zip1, const OpenedBackup &state)
    : m_context(context), m_zip(Zip1), m_state(state)
{
    const QStringList names = Zip1.entryNames();
    m_archiveEntries = QSet<QString>(names.begin(), names.end());
}

Result ItemRestorers::restore(int index, const std::function<void(double share)> &progress)
{
    switch (index) {
    case ItemMailAccounts:
        return Restoremailaccountsandmessages(progress);
    case ItemMailRules:
        return RestoremailRules();
    case ItemLdapAccounts:
        return RestorLdapaccounts();
    case ItemNewsRules:
        return RestorenewsRules();
    case ItemJunkMail:
        return RestoreJunkmail();
    case ItemContacts:
        return RestoreContacts();
    case ItemMailDatabase:
        return Restoremaildatabase();
    case ItemSignatures:
        return RestoreSignatures();
    case ItemStationeries:
        return RestoreStationeries();
    case ItemSettings:
        return RestoreSettings();
    default:
        return noSuchItem(index);
    }
}

Result
ItemRestorers::Restoremailaccountsandmessages(const std::function<void(double share)> &progress)
{
    const QString store = m_context.store().StoreFolder;
    if (Result found = requireFolder(store); !found)
        return found;
    const Expected<QStringList> names = entries(ItemMailAccounts);
    if (!names)
        return names.result();
    StagingFolder &staging = m_context.staging();
    if (Result ready = staging.status(); !ready)
        return ready;
    // Each account stands on its own: one that cannot be replaced is named, and the rest are
    // still restored.
    QStringList notRestored;
    QList<AccountFolder> folders;
    for (const QString &name : *names) {
        if (isFolderArchive(name)) {
            folders.append(
                {name, QDir(store).filePath(folderOfArchive(name)), m_zip.storedSize(name)});
        } else if (Result restored = extract(name, store); restored) {
            m_changed = true;
        } else {
            notRestored.append(
                QStringLiteral("\"%1\" was not restored: %2").arg(name, restored.message()));
        }
    }
    const AccountFoldersOutcome accounts =
        restoreAccountFolders(m_state, folders, staging.path(), progress);
    m_changed = m_changed || accounts.changed;
    notRestored += accounts.problems;
    if (!notRestored.isEmpty())
        return Result::failure(notRestored.join(QStringLiteral("\r\n")));
    return Result::success();
}

Result ItemRestorers::RestoremailRules()
{
    return restoreKeyTree(ItemMailRules, MailKeys::mailRules);
}

Result ItemRestorers::RestorLdapaccounts()
{
    return restoreFiles(ItemLdapAccounts, m_context.store().StoreFolder);
}

Result ItemRestorers::RestorenewsRules()
{
    return restoreKeyTree(ItemNewsRules, MailKeys::newsRules);
}

Result ItemRestorers::RestoreJunkmail()
{
    return restoreKeyTree(ItemJunkMail, MailKeys::junkMail);
}

Result ItemRestorers::RestoreContacts()
{
    const QString folder = m_context.store().contactsFolder();
    if (Result direct = checkNoLinkBelow(m_context.store().StoreFolder, folder); !direct)
        return direct;
    if (Result created = createFolder(folder); !created)
        return created;
    return restoreFiles(ItemContacts, folder);
}

Result ItemRestorers::Restoremaildatabase()
{
    return restoreFiles(ItemMailDatabase, m_context.store().StoreFolder);
}

Result ItemRestorers::RestoreSignatures()
{
    return restoreKeyTree(ItemSignatures, MailKeys::signatures);
}

Result ItemRestorers::RestoreStationeries()
{
    const QString folder = m_context.store().stationeryFolder;
    if (Result created = createFolder(folder); !created)
        return created;
    return restoreFiles(ItemStationeries, folder);
}

Result ItemRestorers::RestoreSettings()
{
    return restoreKeyTree(ItemSettings, MailKeys::settings);
}

Expected<QStringList> ItemRestorers::entries(int index) const
{
    return itemEntries(m_state, index, m_archiveEntries);
}

Result ItemRestorers::restoreKeyTree(int index, const QString &keyPath)
{
    modReg &reg = m_context.reg();
    if (Result settings = requireMailSettings(reg); !settings)
        return settings;
    const Expected<QStringList> names = entries(index);
    if (!names)
        return names.result();
    StagingFolder &staging = m_context.staging();
    if (Result ready = staging.status(); !ready)
        return ready;
    const QString &name = names->first();
    // Refused before it takes any room: the import would refuse it anyway.
    if (const Expected<ZipEntry> entry = m_zip.FindEntry(name);
        entry && entry->size() > quint64(maxRegistryTextSize))
        return Result::failure(
            QStringLiteral("The registry file \"%1\" declares %2 bytes, more than any export of "
                           "the mail client's settings.")
                .arg(name)
                .arg(entry->size()));
    Result imported = extract(name, staging.path());
    if (imported)
        imported = reg.ImportKeyFile(keyPath, staging.filePath(name));
    QFile::remove(staging.filePath(name));
    m_changed = m_changed || imported.ok();
    return imported;
}

Result ItemRestorers::restoreFiles(int index, const QString &folder)
{
    if (Result found = requireFolder(folder); !found)
        return found;
    const Expected<QStringList> names = entries(index);
    if (!names)
        return names.result();
    for (const QString &name : *names) {
        if (Result extracted = extract(name, folder); !extracted)
            return extracted;
        m_changed = true;
    }
    return Result::success();
}

Result ItemRestorers::extract(const QString &entryName, const QString &folder)
{
    const Expected<ZipEntry> entry = m_zip.FindEntry(entryName);
    return entry ? entry->ExtractInto(folder) : entry.result();
}

} // namespace quillory
