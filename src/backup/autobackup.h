#pragma once

#include <QString>

namespace quillory {

class ProgramContext;

// Exit statuses of the unattended backup.
namespace AutoBackupExit {
constexpr int Stored = 0;     // the archive was written with every chosen item
constexpr int ItemFailed = 1; // the archive was written, but an item could not be stored
constexpr int NotWritten = 2; // nothing was written: a bad command line, or the archive failed
} // namespace AutoBackupExit

// One backup from the scheduler's command line, without any window. Reasons for failures go to
// the context's dialogs (standard error); a run that stores everything says nothing.
int RunAutoBackup(ProgramContext &context, const QString &commandLine);

} // namespace quillory
