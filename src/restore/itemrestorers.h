#pragma once

#include "platform/result.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace quillory {

class ProgramContext;
class ZipArchive;
struct OpenedBackup;

// The ten restorers: each puts its item's data from the open backup archive back where the mail
// client keeps it, and says why when it cannot. Every name an item lists is checked, and found
// in the archive, before the item writes anything. Registry items replace their key tree as one
// change; a restored file replaces one of the same name whole, and a store folder is swapped
// for its restored copy only once that copy is complete, several folders at once. A store folder
// that cannot be replaced does not keep the others from being restored. Files taken out for a
// moment go to the run's staging folder.
class ItemRestorers {
public:
    ItemRestorers(ProgramContext &context, ZipArchive &Zip1, const OpenedBackup &state);

    // `progress` is told the share of the item done, from 0 to 1, where an item can tell it.
    Result restore(int index, const std::function<void(double share)> &progress = {});
    // Whether any item has replaced a file, a folder or a key tree so far.
    bool changedAnything() const { return m_changed; }

    Result Restoremailaccountsandmessages(const std::function<void(double share)> &progress = {});
    Result RestoremailRules();
    Result RestorLdapaccounts();
    Result RestorenewsRules();
    Result RestoreJunkmail();
    Result RestoreContacts();
    Result Restoremaildatabase();
    Result RestoreSignatures();
    Result RestoreStationeries();
    Result RestoreSettings();

private:
    Expected<QStringList> entries(int index) const;
    Result restoreKeyTree(int index, const QString &keyPath);
    Result restoreFiles(int index, const QString &folder);
    Result extract(const QString &entryName, const QString &folder);

    ProgramContext &m_context;
    ZipArchive &m_zip;
    const OpenedBackup &m_state;
    QSet<QString> m_archiveEntries;
    bool m_changed = false;
};

} // namespace quillory
