#pragma once

#include "backup/autobackup.h"

#include <QString>

namespace quillory {

class ProgramContext;

// The program's start with argument text: one unattended backup, no window, no display needed.
// Returns the exit status.
int runUnattended(int argc, char *argv[]);

// The argument text as the scheduler's command line gave it: the arguments joined by blanks.
// Empty when the program was started without arguments.
bool hasArgumentText(int argc, char *argv[]);

// The unattended backup in `context`, whose profile the caller has locked: loads the program,
// removes what killed runs left, and backs up keeping `keep` archives.
AutoBackupReport backUpLocked(ProgramContext &context, const QString &commandLine, int keep);

} // namespace quillory
