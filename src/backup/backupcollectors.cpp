#include "backup/backupcollectors.h"

#include "app/keyvaluefile.h"
#include "app/programcontext.h"
#include "app/stagingfolder.h"
#include "app/storediscovery.h"
#include "app/tempfile.h"
#include "backup/backupinfo.h"
#include "backup/nestedarchives.h"
#include "platform/registrystore.h"
#include "platform/zip/ziparchive.h"
#include "registry/modreg.h"

#include <QDir>
#include <QFileInfo>

namespace quillory {

namespace {

bool endsWithNoCase(const QString &name, QLatin1String suffix)
{
    return name.endsWith(suffix, Qt::CaseInsensitive);
}

bool isLdapAccount(const QString &name)
{
    return endsWithNoCase(name, QLatin1String("oeaccount"));
}

bool isContactOrGroup(const QString &name)
{
    return endsWithNoCase(name, QLatin1String("contact")) ||
           endsWithNoCase(name, QLatin1String("group"));
}

bool isMailDatabase(const QString &name)
{
    return endsWithNoCase(name, QLatin1String("msmessagestore"));
}

bool isAnyFile(const QString &name)
{
    return !name.isEmpty();
}

Result missingFolder(const QString &folder)
{
    return Result::failure(QStringLiteral("The folder %1 does not exist.").arg(folder));
}

} // namespace

QStringList accountFolders(const QString &storeFolder)
{
    static const QStringList clientFolders = {
        QStringLiteral("Your Feeds"), QStringLiteral("Backup"), QStringLiteral("Contacts"),
        QStringLiteral("Sentinel"), QStringLiteral("Storage Folders")};
    QStringList folders;
    // The file system's own order: nothing sorts them.
    const QStringList all =
        QDir(storeFolder)
            .entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                       QDir::NoSort);
    for (const QString &name : all)
        if (!clientFolders.contains(name))
            folders.append(name);
    return folders;
}

BackupCollectors::BackupCollectors(ProgramContext &context, ZipArchive &Zip1,
                                   bool storeDatabaseWithAccounts)
    : m_context(context), m_zip(Zip1), m_storeDatabaseWithAccounts(storeDatabaseWithAccounts)
{
}

Result BackupCollectors::collect(int index)
{
    switch (index) {
    case ItemMailAccounts:
        return Backupmailaccountsandmessages();
    case ItemMailRules:
        return BackupmailRules();
    case ItemLdapAccounts:
        return BackupldapAccounts();
    case ItemNewsRules:
        return BackupnewsRules();
    case ItemJunkMail:
        return Backupjunkmail();
    case ItemContacts:
        return BackupContacts();
    case ItemMailDatabase:
        return Backupmaildatabase();
    case ItemSignatures:
        return Backupsignatures();
    case ItemStationeries:
        return BackupStationeries();
    case ItemSettings:
        return BackupSettings();
    default:
        return Result::failure(QStringLiteral("There is no item %1.").arg(index));
    }
}

Result BackupCollectors::Backupmailaccountsandmessages()
{
    const QString store = m_context.store().StoreFolder;
    if (store.isEmpty() || !QFileInfo(store).isDir())
        return missingFolder(store);
    const QStringList folders = accountFolders(store);
    // Nested archives are staged, never built in the store, where a user's own "Work.zip" could
    // be overwritten and then deleted.
    const QString staging = m_context.staging().path();
    const QList<Result> built = buildNestedArchives(store, folders, staging);

    QStringList names;
    for (qsizetype i = 0; i < folders.size(); ++i) {
        if (!built[i])
            return built[i];
        const QString name = folders[i] + QStringLiteral(".zip");
        if (Result added = addFile(QDir(staging).filePath(name)); !added)
            return added;
        names.append(name);
    }
    const QString database = QDir(store).filePath(storeDatabaseName);
    if (m_storeDatabaseWithAccounts && QFileInfo(database).isFile())
        if (Result added = addFile(database); !added)
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
    for (const QString &name :
         dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort)) {
        if (!wanted(name))
            continue;
        if (Result added = addFile(dir.filePath(name)); !added)
            return added;
        names.append(name);
    }
    if (names.isEmpty())
        return Result::failure(
            QStringLiteral("The folder %1 holds no file of this kind.").arg(folder));
    return writeListLine(index, names);
}

Result BackupCollectors::collectKeyTree(int index, const QString &keyPath, const QString &prefix)
{
    modReg &reg = m_context.reg();
    if (reg.ListSubkeys(MailKeys::mail).isEmpty())
        return Result::failure(
            QStringLiteral("Windows Live Mail keeps no settings in the registry for this user."));
    // A missing key exports exactly like an empty one; creating it is a courtesy the registry
    // cannot take while Wine holds it, and the backup does not need it.
    if (!reg.KeyExists(keyPath) && reg.store().checkWritable(RegistryRoot::CurrentUser))
        reg.CreateKey(keyPath);

    const QString exportFile = sGetTempFile(prefix, m_context.staging().path());
    if (exportFile.isEmpty())
        return Result::failure(QStringLiteral("Cannot create a temporary file in %1.")
                                   .arg(m_context.staging().path()));
    if (Result exported = reg.ExportKeyTree(keyPath, QString(), exportFile); !exported)
        return exported;
    if (Result added = addFile(exportFile); !added)
        return added;
    return writeListLine(index, {QFileInfo(exportFile).fileName()});
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
    return SaveINI(itemTable()[index].listKey, entryNames.join(QLatin1Char(';')),
                   m_context.values().InfoFilePath);
}

} // namespace quillory
