#pragma once

#include "app/itemtable.h"
#include "backup/backuprun.h"

#include <QString>

namespace quillory {

class ProgramContext;

// Exit statuses of the unattended backup.
namespace AutoBackupExit {
constexpr int Stored = 0;     // the archive was written with every chosen item
constexpr int ItemFailed = 1; // the archive was written, but an item could not be stored
constexpr int NotWritten = 2; // nothing was written: a bad command line, or the archive failed
} // namespace AutoBackupExit

// What an unattended backup did.
struct AutoBackupReport {
    int exitStatus = AutoBackupExit::NotWritten;
    QString archivePath; // empty when the command line names no archive
    ItemFlags chosen{};
    BackupOutcome outcome;
};

// One backup from the scheduler's command line, without any window, keeping `keep` archives
// (see BackupRequest). Reasons for failures go to the context's dialogs (standard error); a run
// that stores everything says nothing.
AutoBackupReport performAutoBackup(ProgramContext &context, const QString &commandLine,
                                   int keep = 1);

} // namespace quillory
