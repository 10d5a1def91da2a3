#pragma once

#include "app/itemtable.h"
#include "backup/storefiles.h"
#include "platform/result.h"
#include "platform/userdialogs.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace quillory {

class ProgramContext;
class RunObserver;
class ZipArchive;

struct BackupRequest {
    QString archivePath;
    ItemFlags items{};
    bool protect = false;
    QString password;
    QString description;
    // The unattended run: also stores the store's database with the accounts.
    bool unattended = false;
    // How many archives to keep: the new one and up to keep - 1 older ones beside it, under the
    // dates they were written. 1 replaces the archive.
    int keep = 1;
    // What a check of account folders found just before the run, by path (see `spaceWarning`):
    // those folders are not walked again.
    FolderChecks checkedFolders{};
};

struct BackupOutcome {
    ItemFlags stored{};
    // One line per chosen item: CR LF, its log label, a TAB, "Successed!" or "Fail!"; after it, a
    // line naming the files the item left out.
    QString log;
    // Why each failed item failed, and what an item left out, "label: reason", for the terminal
    // and the scheduler's mail.
    QStringList problems;
    // Whether the archive was written; when it was not, an archive of that name is untouched.
    // It is not written when the run's surroundings fail (no staging folder, a full disk, no mail
    // store) or when none of the chosen items could be stored.
    Result archive;

    // Every chosen item stored whole.
    bool allStored(const ItemFlags &chosen) const { return chosen == stored && problems.isEmpty(); }
};

// The checks before a backup starts, in their order; the first that fails gives the message to
// show, with its icon. nullopt when the run may start.
struct InputProblem {
    QString text;
    MessageIcon icon;
};
std::optional<InputProblem> checkBackupInput(const QString &archivePath, const ItemFlags &items,
                                             bool protect, const QString &password,
                                             const QString &retyped);

// Writes the backup archive: the information file, every chosen item in index order, the
// password. The archive is built beside its target and replaces an old one only when complete;
// everything staged on the way is removed at the end, whatever the outcome.
BackupOutcome performBackup(ProgramContext &context, ZipArchive &Zip1, const BackupRequest &request,
                            RunObserver &observer);

inline const QString backupCompletedText = QStringLiteral("The Backup was Completed!");

} // namespace quillory
