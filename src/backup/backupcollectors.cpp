#include "backup/backupcollectors.h"

#include "app/itemproblems.h"
#include "app/keyvaluefile.h"
#include "app/programcontext.h"
#include "app/stagingfolder.h"
#include "app/storediscovery.h"
#include "app/tempfile.h"
#include "backup/backupinfo.h"
#include "backup/nestedarchives.h"
#include "backup/storefiles.h"
#include "platform/registrystore.h"
#include "platform/runownedname.h"
#include "platform/zip/ziparchive.h"
#include "registry/modreg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <memory>

namespace quillory {

namespace {

// What the nested archive of a folder holds at most: its files, deflate's worst growth, and each
// entry's two headers with a long name.
quint64 sizeBound(const TreeSize &size)
{
    return size.bytes + size.bytes / 64 + (size.files + 1) * 1024;
}

} // namespace

QStringList accountFolders(const QString &storeFolder)
{
    // ".NAME.restoring-PID@HOST-1a2b3c4d" (earlier versions: "PID-", or neither): the half-restored
    // copy of NAME that a restore works in, or that a killed one left beside it.
    static const QRegularExpression restoreLeftover(
        QStringLiteral("^\\..+\\.restoring-([0-9]+(@[0-9a-f]{8})?-)?[0-9a-f]{8}$"));
    QStringList folders;
    for (const QString &name : foldersIn(storeFolder))
        if (!isMailClientFolder(name) && !restoreLeftover.match(name).hasMatch())
            folders.append(name);
    return folders;
}

BackupCollectors::BackupCollectors(ProgramContext &context, ZipArchive &Zip1,
                                   bool storeDatabaseWithAccounts)
    : m_context(context), m_zip(Zip1), m_storeDatabaseWithAccounts(storeDatabaseWithAccounts)
{
}

void BackupCollectors::watchAccounts(std::function<void(double share)> read,
                                     std::shared_ptr<NestedProgress> built)
{
    m_accountsRead = std::move(read);
    m_accountsBuilt = std::move(built);
}

CollectedItem BackupCollectors::collect(int index)
{
    m_environmentFailed = false;
    m_leftOut.clear();
    m_undecodable.clear();
    CollectedItem item;
    switch (index) {
    case ItemMailAccounts:
        item.result = Backupmailaccountsandmessages();
        break;
    case ItemMailRules:
        item.result = BackupmailRules();
        break;
    case ItemLdapAccounts:
        item.result = BackupldapAccounts();
        break;
    case ItemNewsRules:
        item.result = BackupnewsRules();
        break;
    case ItemJunkMail:
        item.result = Backupjunkmail();
        break;
    case ItemContacts:
        item.result = BackupContacts();
        break;
    case ItemMailDatabase:
        item.result = Backupmaildatabase();
        break;
    case ItemSignatures:
        item.result = Backupsignatures();
        break;
    case ItemStationeries:
        item.result = BackupStationeries();
        break;
    case ItemSettings:
        item.result = BackupSettings();
        break;
    default:
        item.result = noSuchItem(index);
    }
    item.environmentFailed = m_environmentFailed && !item.result;
    item.leftOut = m_leftOut;
    item.undecodable = m_undecodable;
    return item;
}

Result BackupCollectors::Backupmailaccountsandmessages()
{
    const QString store = m_context.store().StoreFolder;
    if (store.isEmpty() || !QFileInfo(store).isDir())
        return missingFolder(store);
    QStringList folders;
    for (const QString &folder : accountFolders(store))
        (canBeListed(folder + QStringLiteral(".zip")) ? folders : m_leftOut).append(folder);
    // Nested archives are built as the archive takes them in, never in the store, where a user's
    // own "Work.zip" could be overwritten and then deleted. A failure to build one fails the
    // archive's write.
    const std::shared_ptr<NestedArchives> nested =
        NestedArchives::start(store, folders, m_zip.targetPath(), m_accountsBuilt);
    // Every account is read through before the archive is written, where an account that cannot
    // be read would fail the whole run rather than this item.
    QList<TreeSize> sizes(folders.size());
    for (qsizetype i = 0; i < folders.size(); ++i) {
        const QString path = QDir(store).filePath(folders[i]);
        const auto checked = m_checked.constFind(path);
        Result readable;
        if (checked == m_checked.constEnd())
            readable = checkTreeReadable(path, &sizes[i]);
        else {
            readable = checked->readable;
            sizes[i] = checked->size;
        }
        if (!readable)
            return readable;
        for (const QString &name : sizes[i].undecodable)
            m_undecodable.append(folders[i] + QLatin1Char('/') + name);
        nested->folderChecked(sizes[i]);
        if (m_accountsRead)
            m_accountsRead(double(i + 1) / double(folders.size()));
    }
    QStringList names;
    for (qsizetype i = 0; i < folders.size(); ++i) {
        const QString name = folders[i] + QStringLiteral(".zip");
        if (Result added =
                m_zip.AddMadeFile(nested->name(i), nested->maker(i, sizeBound(sizes[i])));
            !added)
            return added;
        names.append(name);
    }
    if (m_storeDatabaseWithAccounts)
        if (Result added = addStoreDatabase(store); !added)
            return added;
    if (names.isEmpty())
        return Result::failure(
            QStringLiteral("The store folder %1 holds no account folder.").arg(store));
    // The reader expects the database name after the nested archives, whether or not it was added.
    names.append(storeDatabaseName);
    return writeListLine(ItemMailAccounts, names);
}

Result BackupCollectors::BackupmailRules()
{
    return collectKeyTree(ItemMailRules, MailKeys::mailRules, QStringLiteral("OBR"));
}

Result BackupCollectors::BackupldapAccounts()
{
    return collectFiles(ItemLdapAccounts, m_context.store().StoreFolder, isLdapAccount);
}

Result BackupCollectors::BackupnewsRules()
{
    return collectKeyTree(ItemNewsRules, MailKeys::newsRules, QStringLiteral("OBR"));
}

Result BackupCollectors::Backupjunkmail()
{
    return collectKeyTree(ItemJunkMail, MailKeys::junkMail, QStringLiteral("OBR"));
}

Result BackupCollectors::BackupContacts()
{
    return collectFiles(ItemContacts, m_context.store().contactsFolder(), isContactOrGroup);
}

Result BackupCollectors::Backupmaildatabase()
{
    return collectFiles(ItemMailDatabase, m_context.store().StoreFolder, isMailDatabase);
}

Result BackupCollectors::Backupsignatures()
{
    return collectKeyTree(ItemSignatures, MailKeys::signatures, QStringLiteral("OBR"));
}

Result BackupCollectors::BackupStationeries()
{
    return collectFiles(ItemStationeries, m_context.store().stationeryFolder, isAnyFile);
}

Result BackupCollectors::BackupSettings()
{
    return collectKeyTree(ItemSettings, MailKeys::settings, QStringLiteral("OBS"));
}

Result BackupCollectors::collectFiles(int index, const QString &folder, NameFilter wanted)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return missingFolder(folder);
    const QDir dir(folder);
    QStringList names;
    for (const QString &name : regularFilesIn(folder)) {
        // The archive being written, or a file made while writing one, is no data of the user's.
        if (!wanted(name) || isRunOwnedTemporary(name) || m_zip.writesTo(dir.filePath(name)))
            continue;
        if (!canBeListed(name)) {
            m_leftOut.append(name);
            continue;
        }
        if (name.compare(backupInfoFileName, Qt::CaseInsensitive) == 0)
            return Result::failure(
                QStringLiteral("The file %1 cannot be stored: \"%2\" is the name of the backup "
                               "information file.")
                    .arg(dir.filePath(name), backupInfoFileName));
        if (Result readable = checkReadable(dir.filePath(name)); !readable)
            return readable;
        names.append(name);
    }
    if (names.isEmpty())
        return Result::failure(
            QStringLiteral("The folder %1 holds no file of this kind that can be stored.")
                .arg(folder));
    for (const QString &name : std::as_const(names))
        if (Result added = addFile(dir.filePath(name)); !added)
            return added;
    return writeListLine(index, names);
}

Result BackupCollectors::collectKeyTree(int index, const QString &keyPath, const QString &prefix)
{
    modReg &reg = m_context.reg();
    if (Result settings = requireMailSettings(reg); !settings)
        return settings;
    // A missing key exports exactly like an empty one; creating it is a courtesy the registry
    // cannot take while Wine holds it, and the backup does not need it.
    if (!reg.KeyExists(keyPath) && reg.store().checkWritable(RegistryRoot::CurrentUser))
        reg.CreateKey(keyPath);

    const QString exportFile = sGetTempFile(prefix, m_context.staging().path());
    if (exportFile.isEmpty())
        return environmentFailure(
            Result::failure(QStringLiteral("Cannot create a temporary file in %1.")
                                .arg(m_context.staging().path())));
    if (Result exported = reg.ExportKeyTree(keyPath, QString(), exportFile); !exported)
        return environmentFailure(exported);
    // A restore refuses a larger file unread: stored, it would be a backup that cannot come back.
    if (const qint64 size = QFileInfo(exportFile).size(); size > maxRegistryTextSize)
        return Result::failure(
            QStringLiteral("The settings under %1 take %2 bytes, more than a restore takes (%3).")
                .arg(keyPath)
                .arg(size)
                .arg(maxRegistryTextSize));
    if (Result added = addFile(exportFile); !added)
        return added;
    return writeListLine(index, {QFileInfo(exportFile).fileName()});
}

Result BackupCollectors::addStoreDatabase(const QString &store)
{
    const QString database = pathNoCase(store, storeDatabaseName);
    if (!QFileInfo(database).isFile())
        return Result::success();
    if (Result readable = checkReadable(database); !readable)
        return readable;
    if (QFileInfo(database).fileName() == storeDatabaseName)
        return addFile(database);
    // Entries take their file's name, and the reader looks for the database under the name the
    // list gives: a staged link lends it that spelling.
    const QString link = m_context.staging().filePath(storeDatabaseName);
    if (!QFile::link(database, link))
        return environmentFailure(Result::failure(
            QStringLiteral("Cannot create the link %1 to %2.").arg(link, database)));
    return addFile(link);
}

Result BackupCollectors::environmentFailure(Result failure)
{
    m_environmentFailed = true;
    return failure;
}

Result BackupCollectors::addFile(const QString &path)
{
    const QFileInfo file(path);
    const QString name = file.fileName();
    const auto known = m_added.constFind(name);
    if (known != m_added.constEnd() && *known == file.absoluteFilePath())
        return Result::success();
    if (Result added = m_zip.AddFiles(path); !added)
        return added;
    m_added.insert(name, file.absoluteFilePath());
    return Result::success();
}

Result BackupCollectors::writeListLine(int index, const QStringList &entryNames)
{
    // The information file is staged: failing to write it is the staging folder's fault.
    if (Result written = SaveINI(itemTable()[index].listKey, entryNames.join(QLatin1Char(';')),
                                 m_context.values().InfoFilePath);
        !written)
        return environmentFailure(written);
    return Result::success();
}

} // namespace quillory
