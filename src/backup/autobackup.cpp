#include "backup/autobackup.h"

#include "app/programcontext.h"
#include "app/unattendedarchivepath.h"
#include "backup/autobackupcommandline.h"
#include "backup/backupinfo.h"
#include "backup/backuprun.h"
#include "backup/spacecheck.h"
#include "platform/runobserver.h"
#include "platform/userdialogs.h"
#include "platform/zip/ziparchive.h"

namespace quillory {

AutoBackupReport performAutoBackup(ProgramContext &context, const QString &commandLine, int keep)
{
    AutoBackupReport report;
    UserDialogs &dialogs = context.dialogs();
    const Expected<AutoBackupCommand> command = parseAutoBackupCommandLine(commandLine);
    if (!command) {
        dialogs.message(command.message(), applicationTitle(), MessageIcon::Error,
                        MessageButtons::Ok);
        return report;
    }
    const Expected<QString> archivePath =
        unattendedArchivePath(context.paths(), command->archivePath);
    if (!archivePath) {
        dialogs.message(archivePath.message(), applicationTitle(), MessageIcon::Error,
                        MessageButtons::Ok);
        return report;
    }
    report.archivePath = *archivePath;
    report.chosen = command->items();
    context.values().BackupFileName = *archivePath;

    BackupRequest request;
    request.archivePath = *archivePath;
    request.items = command->items();
    request.protect = !command->password.isEmpty();
    request.password = command->password;
    request.description = autoBackupDescription;
    request.unattended = true;
    request.keep = keep;

    // Nobody is there to answer: a backup that may not fit is tried all the same, since a run
    // that fills the disk keeps the old archive.
    if (const QString warning = spaceWarning(context, request.archivePath, request.items,
                                             request.protect, &request.checkedFolders);
        !warning.isEmpty())
        dialogs.message(warning, applicationTitle(), MessageIcon::Warning, MessageButtons::Ok);

    ZipArchive Zip1;
    SilentObserver observer;
    report.outcome = performBackup(context, Zip1, request, observer);
    const BackupOutcome &outcome = report.outcome;
    if (!outcome.archive) {
        dialogs.message(QStringLiteral("The backup %1 was not written: %2")
                            .arg(request.archivePath, outcome.archive.message()),
                        applicationTitle(), MessageIcon::Error, MessageButtons::Ok);
        return report;
    }
    report.exitStatus = AutoBackupExit::Stored;
    if (outcome.allStored(request.items))
        return report;
    dialogs.message(QStringLiteral("The backup %1 was written, but not every item could be "
                                   "stored:\n%2")
                        .arg(request.archivePath, outcome.problems.join(QLatin1Char('\n'))),
                    applicationTitle(), MessageIcon::Warning, MessageButtons::Ok);
    report.exitStatus = AutoBackupExit::ItemFailed;
    return report;
}

} // namespace quillory
