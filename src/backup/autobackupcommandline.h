#pragma once

#include "app/itemtable.h"
#include "platform/result.h"

#include <QString>

namespace quillory {

// The argument text of an unattended backup: "sf=USERxm=ITEMSps=PASSWORDbf=ARCHIVE", each
// value running straight into the next key. Keys are found by position: the text is cut at
// every "=", so no value may hold one.
struct AutoBackupCommand {
    QString user;      // who scheduled the job; not used for the backup
    QString itemFlags; // one "1"/"0" per item
    QString password;  // empty for an unprotected archive
    QString archivePath;

    ItemFlags items() const;
};

// Fails, saying why, when the text does not hold the four fields with item flags and an archive
// path. A value holding "=" would shift the fields (a password "ab=cd" would name the archive
// "cd" and leave it unprotected), so more than four fields is refused too.
Expected<AutoBackupCommand> parseAutoBackupCommandLine(const QString &commandLine);

// Hides the password from the process list, which every user of the machine can read, without
// telling its length: when the text holds a password, every argument after the program's path
// is blanked in the process's own memory. Afterwards the last argument is no longer
// terminated, so call it once the argument text has been copied and never read argv[1...] again.
void hidePasswordInArguments(int argc, char *argv[]);

} // namespace quillory
