#include "app/storediscovery.h"

#include "platform/wine/winepaths.h"
#include "registry/modreg.h"

#include <QDir>
#include <QFileInfo>

namespace quillory {

namespace {

const QString readError = QStringLiteral("Error");

// Shell folder values are read as stored: anything after a NUL is not part of the path.
QString shellFolderValue(const modReg &reg, const QString &name)
{
    const QString value = reg.ReadStringValue(MailKeys::shellFolders, name);
    if (value == readError)
        return value;
    return value.left(value.indexOf(QChar(u'\0'))).trimmed();
}

QStringList filesIn(const QString &folder)
{
    if (folder.isEmpty())
        return {};
    QStringList files;
    // Pipes, sockets and dangling links are no data a backup could take.
    for (const QFileInfo &entry :
         QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort))
        if (entry.isFile())
            files.append(entry.fileName());
    return files;
}

} // namespace

bool isMailClientFolder(const QString &name)
{
    static const QStringList folders = {QStringLiteral("Contacts"), QStringLiteral("Backup"),
                                        QStringLiteral("Storage Folders"),
                                        QStringLiteral("Sentinel"), QStringLiteral("Your Feeds")};
    return folders.contains(name, Qt::CaseInsensitive);
}

QString pathNoCase(const QString &folder, const QString &name)
{
    const QDir dir(folder);
    if (dir.exists(name))
        return dir.filePath(name);
    const QStringList all =
        dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString &entry : all)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    return dir.filePath(name);
}

QString StoreLocations::contactsFolder() const
{
    if (StoreFolder.isEmpty())
        return {};
    return pathNoCase(pathNoCase(StoreFolder, QStringLiteral("Contacts")),
                      QStringLiteral("Default"));
}

StoreLocations findStore(const modReg &reg, const WinePaths &paths)
{
    StoreLocations store;
    if (reg.ReadStringValue(MailKeys::mail, MailKeys::storeMarker) == readError) {
        store.status = StoreStatus::MailClientMissing;
        return store;
    }
    const QString localAppData = shellFolderValue(reg, QStringLiteral("Local AppData"));
    const std::optional<QString> storeFolder =
        localAppData == readError
            ? std::nullopt
            : paths.toHostPath(localAppData + QStringLiteral("\\Microsoft\\Windows Live Mail"));
    if (!storeFolder) {
        store.status = StoreStatus::StoreBroken;
        return store;
    }
    store.status = StoreStatus::Found;
    store.StoreFolder = *storeFolder;

    const QString personal = shellFolderValue(reg, QStringLiteral("Personal"));
    if (personal != readError)
        store.stationeryFolder =
            paths.toHostPath(personal + QStringLiteral("\\My Stationery")).value_or(QString());
    return store;
}

ItemFlags itemAvailability(const modReg &reg, const StoreLocations &store)
{
    ItemFlags available;
    available.fill(true);
    available[ItemMailRules] = !reg.ListSubkeys(MailKeys::mailRules).isEmpty();

    const QStringList storeFiles = filesIn(store.StoreFolder);
    available[ItemLdapAccounts] =
        std::any_of(storeFiles.begin(), storeFiles.end(), [](const QString &name) {
            return name.endsWith(QLatin1String("oeaccount"), Qt::CaseSensitive);
        });
    available[ItemNewsRules] = !reg.ListSubkeys(MailKeys::newsRules).isEmpty();
    available[ItemContacts] =
        !store.StoreFolder.isEmpty() &&
        QFileInfo(pathNoCase(store.StoreFolder, QStringLiteral("Contacts"))).isDir();
    available[ItemSignatures] = !reg.ListSubkeys(MailKeys::signatures).isEmpty();
    available[ItemStationeries] = !filesIn(store.stationeryFolder).isEmpty();
    return available;
}

} // namespace quillory
