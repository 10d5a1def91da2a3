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
#include "cli/progressline.h"
#include "cli/runrecord.h"
#include "cli/terminaltext.h"
#include "platform/freespace.h"
#include "platform/runobserver.h"
#include "platform/zip/ziparchive.h"

#include <QFileInfo>

#include <unistd.h>

namespace quillory {

namespace {

// The password and its retyped copy, as the window's two boxes give them: only a prompt can
// make them differ.
Result readPasswords(const CliOptions &options, BackupRequest &request, QString &retyped)
{
    PasswordInput passwords(options.passwordFile);
    const std::optional<QString> first =
        passwords.read(QStringLiteral("Password for %1: ").arg(request.archivePath));
    std::optional<QString> second = first;
    if (first && passwords.prompts())
        second = passwords.read(QStringLiteral("Type it again: "));
    if (!first || !second)
        return Result::failure(passwords.problem());
    request.password = *first;
    retyped = *second;
    return Result::success();
}

// What became of each chosen item: a reason is the item's problems, as the report names them.
void recordItems(RunRecord &record, const BackupRequest &request, const BackupOutcome &outcome)
{
    for (int index = 0; index < ItemCount; ++index) {
        if (!request.items[index])
            continue;
        QStringList reasons = itemReasons(outcome.problems, itemTable()[index].logLabel);
        QString result = QStringLiteral("failed");
        if (!outcome.archive)
            reasons.append(outcome.archive.message());
        else if (outcome.stored[index])
            result = reasons.isEmpty() ? QStringLiteral("succeeded") : QStringLiteral("partial");
        record.addItem(itemName(index), result, reasons.join(QLatin1Char('\n')));
    }
}

// The estimate and the room where the archive and the staged files go; nothing is written, and
// the profile is not locked, since nothing in it changes.
int printDryRun(ProgramContext &context, const CliOptions &options, QTextStream &out,
                QTextStream &err)
{
    const QString archivePath = QFileInfo(options.archive).absoluteFilePath();
    ItemFlags items{};
    if (options.items) {
        const Expected<ItemFlags> parsed = parseItemList(*options.items);
        if (!parsed) {
            err << "brevnor-cli: " << parsed.message() << '\n';
            return CliExit::Refused;
        }
        items = *parsed;
    }
    loadProgram(context);
    if (!options.items)
        items = itemAvailability(context.reg(), context.store());
    const ArchiveEstimate estimate = estimateArchive(
        context.store(), items, options.protect || options.passwordFile.has_value());
    const FreeSpaceQuery &space = context.freeSpace();
    const auto room = [](const std::optional<FreeSpace> &free) {
        return free ? QStringLiteral("%1 free on %2").arg(sizeText(free->bytes), free->mountPoint)
                    : QStringLiteral("free space unknown");
    };
    out << "Estimated archive size: about " << sizeText(estimate.bytes) << '\n'
        << "Archive's folder: "
        << terminalText(room(space.at(QFileInfo(archivePath).absolutePath()))) << '\n'
        << "Temporary folder: " << terminalText(room(space.at(temporaryFolder()))) << '\n';
    const QList<SpaceShortfall> shortfalls =
        spaceShortfalls(estimate, archivePath, temporaryFolder(), space);
    if (!shortfalls.isEmpty())
        err << "brevnor-cli: warning: " << terminalText(shortfallText(shortfalls)) << '\n';
    return CliExit::Success;
}

int backup(ProgramContext &context, const CliOptions &options, QTextStream &out, QTextStream &err,
           RunRecord &record)
{
    BackupRequest request;
    request.archivePath = QFileInfo(options.archive).absoluteFilePath();
    request.description = options.description.value_or(QString());
    request.protect = options.protect || options.passwordFile.has_value();
    request.keep = options.keep;
    if (options.items) {
        const Expected<ItemFlags> parsed = parseItemList(*options.items);
        if (!parsed)
            return refuseRun(record, err, parsed.message());
        request.items = *parsed;
    }
    // Taken before anything is looked at or tidied: a run in progress owns the profile.
    const Expected<ProfileLock> lock = ProfileLock::take(context.prefixPath());
    if (!lock)
        return refuseRun(record, err, lock.message());
    loadProgram(context);
    removeLeftovers(context, request.archivePath);
    if (!options.items)
        request.items = itemAvailability(context.reg(), context.store());

    QString retyped;
    if (request.protect)
        if (Result read = readPasswords(options, request, retyped); !read)
            return refuseRun(record, err, read.message());
    if (const std::optional<InputProblem> problem = checkBackupInput(
            request.archivePath, request.items, request.protect, request.password, retyped)) {
        context.dialogs().message(problem->text, applicationTitle(), problem->icon,
                                  MessageButtons::Ok);
        record.setReason(problem->text);
        return CliExit::Refused;
    }
    context.values().BackupFileName = request.archivePath;
    if (const QString warning = spaceWarning(context, request.archivePath, request.items,
                                             request.protect, &request.checkedFolders);
        !warning.isEmpty())
        err << "brevnor-cli: warning: " << terminalText(warning) << '\n';

    ZipArchive Zip1;
    err.flush();
    ProgressLine line(STDERR_FILENO, !options.quiet, QStringLiteral("Starting the backup..."));
    const BackupOutcome outcome = performBackup(context, Zip1, request, line);
    line.clear();
    recordItems(record, request, outcome);
    if (!outcome.archive) {
        err << "brevnor-cli: the backup " << request.archivePath
            << " was not written: " << outcome.archive.message() << '\n';
        record.setReason(outcome.archive.message());
        return CliExit::Refused;
    }
    const QString report = terminalText(backupCompletedText + QStringLiteral("\r\n") + outcome.log);
    if (!options.json && !options.quiet)
        out << report << '\n';
    else if (!options.json && !problemLines(report, backupCompletedText).isEmpty())
        out << problemLines(report, backupCompletedText) << '\n';
    for (const QString &problem : outcome.problems)
        err << terminalText(problem) << '\n';
    return outcome.allStored(request.items) ? CliExit::Success : CliExit::ItemFailed;
}

} // namespace

int runBackupCommand(ProgramContext &context, const CliOptions &options, QTextStream &out,
                     QTextStream &err)
{
    if (options.dryRun)
        return printDryRun(context, options, out, err);
    RunRecord record(options.archive, RunRecord::Archive::Written);
    return record.finish(backup(context, options, out, err, record), options.json, out);
}

} // namespace quillory
