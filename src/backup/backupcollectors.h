#pragma once

#include "app/itemtable.h"
#include "platform/result.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace quillory {

class ProgramContext;
class ZipArchive;

// The ten collectors: each finds its item's data, adds it to the backup archive and writes the
// item's list line into the backup information file. A collector that stores nothing fails,
// saying why; what it added before failing stays in the archive, but its list line is never
// written, so the archive does not claim the item.
class BackupCollectors {
public:
    // `storeDatabaseWithAccounts`: the unattended run also stores the store's
    // "WindowsMail.MSMessageStore" with the accounts.
    BackupCollectors(ProgramContext &context, ZipArchive &Zip1, bool storeDatabaseWithAccounts);

    Result collect(int index);

    Result Backupmailaccountsandmessages();
    Result BackupmailRules();
    Result BackupldapAccounts();
    Result BackupnewsRules();
    Result Backupjunkmail();
    Result BackupContacts();
    Result Backupmaildatabase();
    Result Backupsignatures();
    Result BackupStationeries();
    Result BackupSettings();

private:
    using NameFilter = bool (*)(const QString &name);
    Result collectFiles(int index, const QString &folder, NameFilter wanted);
    Result collectKeyTree(int index, const QString &keyPath, const QString &prefix);
    Result writeListLine(int index, const QStringList &entryNames);
    Result addFile(const QString &path);

    ProgramContext &m_context;
    ZipArchive &m_zip;
    bool m_storeDatabaseWithAccounts;
    // Entry name to the file it came from. The unattended run stores the store's database with
    // the accounts, and the database item takes the same file again: one entry serves both.
    QHash<QString, QString> m_added;
};

// The account folders of the store a backup takes: every direct subfolder but the client's own.
QStringList accountFolders(const QString &storeFolder);

} // namespace quillory
