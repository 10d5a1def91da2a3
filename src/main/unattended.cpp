#include "main/unattended.h"

#include "app/leftovers.h"
#include "app/profilelock.h"
#include "app/programcontext.h"
#include "app/programstart.h"
#include "app/unattendedarchivepath.h"
#include "backup/autobackup.h"
#include "backup/autobackupcommandline.h"
#include "platform/headlessdialogs.h"
#include "platform/heldsecrets.h"
#include "platform/wine/wineprefix.h"

#include <QByteArray>
#include <QCoreApplication>

namespace quillory {

namespace {

QByteArray argumentBytes(int argc, char *argv[])
{
    QByteArray text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            text.append(' ');
        text.append(argv[i]);
    }
    return text;
}

// The archive the command line names, for removing what killed runs left beside it; empty when
// the line names none, which the run itself then reports.
QString namedArchive(const ProgramContext &context, const QString &commandLine)
{
    const Expected<AutoBackupCommand> command = parseAutoBackupCommandLine(commandLine);
    if (!command)
        return QString();
    const Expected<QString> path = unattendedArchivePath(context.paths(), command->archivePath);
    return path ? *path : QString();
}

} // namespace

bool hasArgumentText(int argc, char *argv[])
{
    return !argumentBytes(argc, argv).isEmpty();
}

int runUnattended(int argc, char *argv[])
{
    const QString commandLine = QString::fromLocal8Bit(argumentBytes(argc, argv));
    if (const Expected<AutoBackupCommand> command = parseAutoBackupCommandLine(commandLine);
        command && !command->password.isEmpty())
        protectHeldSecrets();
    hidePasswordInArguments(argc, argv);
    // Qt is given only the program's path: the arguments after it may have just been blanked.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    HeadlessDialogs dialogs;
    ProgramContext context(defaultWinePrefix(), dialogs);
    // Taken before anything is looked at or tidied: a run in progress owns the profile.
    const Expected<ProfileLock> lock = ProfileLock::take(context.prefixPath());
    if (!lock) {
        context.dialogs().message(lock.message(), applicationTitle(), MessageIcon::Error);
        return AutoBackupExit::NotWritten;
    }
    return backUpLocked(context, commandLine, 1).exitStatus;
}

AutoBackupReport backUpLocked(ProgramContext &context, const QString &commandLine, int keep)
{
    // A missing store is said on standard error; the run still goes on and its items fail.
    loadProgram(context);
    removeLeftovers(context, namedArchive(context, commandLine));
    // A backup stopped before its archive was in place says so and fails; one stopped after is
    // done, and says nothing of the signal.
    return performAutoBackup(context, commandLine, keep);
}

} // namespace quillory
