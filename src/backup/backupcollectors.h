#pragma once

#include "app/itemtable.h"
#include "backup/storefiles.h"
#include "platform/result.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace quillory {

class NestedProgress;
class ProgramContext;
class ZipArchive;

// How one item's collection ended.
struct CollectedItem {
    // Stored, or why not.
    Result result;
    // The failure lies with the run's own surroundings (the staging folder cannot be written, the
    // disk is full, memory ran out), not with the item's data: the run must stop and write nothing.
    bool environmentFailed = false;
    // Files left out because their names cannot be listed; the rest of the item is stored.
    QStringList leftOut;
    // Files left out because their names are no UTF-8 text, their odd bytes shown as "\xE9".
    QStringList undecodable;
};

// The ten collectors: each finds its item's data, adds it to the backup archive and writes the
// item's list line into the backup information file. A collector that stores nothing fails,
// saying why; its list line is never written, so the archive does not claim the item.
class BackupCollectors {
public:
    // `storeDatabaseWithAccounts`: the unattended run also stores the store's
    // "WindowsMail.MSMessageStore" with the accounts.
    BackupCollectors(ProgramContext &context, ZipArchive &Zip1, bool storeDatabaseWithAccounts);

    CollectedItem collect(int index);

    // Told how far the accounts item has got: `read` the share of its account folders read
    // through, `built` counts the bytes of their nested archives as they are built.
    void watchAccounts(std::function<void(double share)> read,
                       std::shared_ptr<NestedProgress> built);
    // Account folders checked a moment ago: taken as found rather than walked again.
    void takeChecks(FolderChecks checked) { m_checked = std::move(checked); }

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
    Result addStoreDatabase(const QString &store);
    // Marks a failure of the run's surroundings (see CollectedItem).
    Result environmentFailure(Result failure);

    ProgramContext &m_context;
    ZipArchive &m_zip;
    bool m_storeDatabaseWithAccounts;
    std::function<void(double share)> m_accountsRead;
    std::shared_ptr<NestedProgress> m_accountsBuilt;
    FolderChecks m_checked;
    // Entry name to the file it came from. The unattended run stores the store's database with
    // the accounts, and the database item takes the same file again: one entry serves both.
    QHash<QString, QString> m_added;
    // Of the item being collected.
    bool m_environmentFailed = false;
    QStringList m_leftOut;
    QStringList m_undecodable;
};

// The account folders of the store a backup takes: every direct subfolder but the client's own
// (matched in any case, as Wine matches names) and those a killed restore left behind.
QStringList accountFolders(const QString &storeFolder);

} // namespace quillory
