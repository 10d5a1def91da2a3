#include "cli/backupcommand.h"

#include "app/leftovers.h"
#include "app/profilelock.h"
#include "app/programcontext.h"
#include "app/programstart.h"
#include "app/sizetext.h"
#include "app/tempfile.h"
#include "backup/archiveestimate.h"
#include "backup/backuprun.h"
#include "backup/spacecheck.h"
#include "cli/clioptions.h"
#include "cli/exitstatus.h"
#include "cli/itemlist.h"
#include "cli/passwordinput.h"
#include "cli/terminaltext.h"
#include "platform/freespace.h"
#include "platform/runobserver.h"
#include "platform/zip/ziparchive.h"

#include <QFileInfo>

namespace quillory {

namespace {

// The password and its retyped copy, as the window's two boxes give them: only a prompt can
// make them differ.
bool readPasswords(const CliOptions &options, BackupRequest &request, QString &retyped,
                   QTextStream &err)
{
    PasswordInput passwords(options.passwordFile);
    const std::optional<QString> first =
        passwords.read(QStringLiteral("Password for %1: ").arg(request.archivePath));
    std::optional<QString> second = first;
    if (first && passwords.prompts())
        second = passwords.read(QStringLiteral("Type it again: "));
    if (!first || !second) {
        err << "brevnor-cli: " << passwords.problem() << '\n';
        return false;
    }
    request.password = *first;
    retyped = *second;
    return true;
}

// The estimate and the room where the archive and the staged files go; nothing is written, and
// the profile is not locked, since nothing in it changes.
int printDryRun(ProgramContext &context, const CliOptions &options, BackupRequest request,
                QTextStream &out, QTextStream &err)
{
    loadProgram(context);
    if (!options.items)
        request.items = itemAvailability(context.reg(), context.store());
    const ArchiveEstimate estimate =
        estimateArchive(context.store(), request.items, request.protect);
    const FreeSpaceQuery &space = context.freeSpace();
    const auto room = [](const std::optional<FreeSpace> &free) {
        return free ? QStringLiteral("%1 free on %2").arg(sizeText(free->bytes), free->mountPoint)
                    : QStringLiteral("free space unknown");
    };
    out << "Estimated archive size: about " << sizeText(estimate.bytes) << '\n'
        << "Archive's folder: "
        << terminalText(room(space.at(QFileInfo(request.archivePath).absolutePath()))) << '\n'
        << "Temporary folder: " << terminalText(room(space.at(temporaryFolder()))) << '\n';
    const QList<SpaceShortfall> shortfalls =
        spaceShortfalls(estimate, request.archivePath, temporaryFolder(), space);
    if (!shortfalls.isEmpty())
        err << "brevnor-cli: warning: " << terminalText(shortfallText(shortfalls)) << '\n';
    return CliExit::Success;
}

} // namespace

int runBackupCommand(ProgramContext &context, const CliOptions &options, QTextStream &out,
                     QTextStream &err)
{
    BackupRequest request;
    request.archivePath = QFileInfo(options.archive).absoluteFilePath();
    request.description = options.description.value_or(QString());
    request.protect = options.protect || options.passwordFile.has_value();
    if (options.items) {
        const Expected<ItemFlags> parsed = parseItemList(*options.items);
        if (!parsed) {
            err << "brevnor-cli: " << parsed.message() << '\n';
            return CliExit::Refused;
        }
        request.items = *parsed;
    }
    if (options.dryRun)
        return printDryRun(context, options, request, out, err);
    // Taken before anything is looked at or tidied: a run in progress owns the profile.
    const Expected<ProfileLock> lock = ProfileLock::take(context.prefixPath());
    if (!lock) {
        err << "brevnor-cli: " << lock.message() << '\n';
        return CliExit::Refused;
    }
    loadProgram(context);
    removeLeftovers(context, request.archivePath);
    if (!options.items)
        request.items = itemAvailability(context.reg(), context.store());

    QString retyped;
    if (request.protect && !readPasswords(options, request, retyped, err))
        return CliExit::Refused;
    if (const std::optional<InputProblem> problem = checkBackupInput(
            request.archivePath, request.items, request.protect, request.password, retyped)) {
        context.dialogs().message(problem->text, applicationTitle(), problem->icon,
                                  MessageButtons::Ok);
        return CliExit::Refused;
    }
    context.values().BackupFileName = request.archivePath;
    if (const QString warning =
            spaceWarning(context, request.archivePath, request.items, request.protect);
        !warning.isEmpty())
        err << "brevnor-cli: warning: " << terminalText(warning) << '\n';

    ZipArchive Zip1;
    SilentObserver observer;
    const BackupOutcome outcome = performBackup(context, Zip1, request, observer);
    if (!outcome.archive) {
        err << "brevnor-cli: the backup " << request.archivePath
            << " was not written: " << outcome.archive.message() << '\n';
        return CliExit::Refused;
    }
    out << terminalText(backupCompletedText + QStringLiteral("\r\n") + outcome.log) << '\n';
    for (const QString &problem : outcome.problems)
        err << terminalText(problem) << '\n';
    return outcome.allStored(request.items) ? CliExit::Success : CliExit::ItemFailed;
}

} // namespace quillory
