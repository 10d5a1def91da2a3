#include "cli/restorecommand.h"

#include "app/leftovers.h"
#include "app/profilelock.h"
#include "app/programcontext.h"
#include "app/programstart.h"
#include "cli/archiveopening.h"
#include "cli/clioptions.h"
#include "cli/exitstatus.h"
#include "cli/itemlist.h"
#include "cli/passwordinput.h"
#include "cli/progressline.h"
#include "cli/runrecord.h"
#include "cli/terminaltext.h"
#include "platform/runobserver.h"
#include "platform/zip/ziparchive.h"
#include "restore/accountchoice.h"
#include "restore/openedbackup.h"
#include "restore/restoreitems.h"
#include "restore/restorerun.h"

#include <unistd.h>

namespace quillory {

namespace {

// What became of each chosen item: one the archive lacks or a stop kept from running is
// skipped; a reason is the item's problems, as the report names them.
void recordItems(RunRecord &record, const OpenedBackup &state, const ItemFlags &chosen,
                 const RestoreOutcome &outcome)
{
    for (int index = 0; index < ItemCount; ++index) {
        if (!chosen[index])
            continue;
        QStringList reasons = itemReasons(outcome.problems, restoreItemTable()[index].reportName);
        QString result = QStringLiteral("skipped");
        if (!state.held[index])
            reasons.append(QStringLiteral("The archive holds no such item."));
        else if (outcome.ran[index])
            result =
                outcome.restored[index] ? QStringLiteral("succeeded") : QStringLiteral("failed");
        record.addItem(itemName(index), result, reasons.join(QLatin1Char('\n')));
    }
}

int restore(ProgramContext &context, const CliOptions &options, QTextStream &out, QTextStream &err,
            RunRecord &record)
{
    ItemFlags chosen{};
    if (options.items) {
        const Expected<ItemFlags> parsed = parseItemList(*options.items);
        if (!parsed)
            return refuseRun(record, err, parsed.message());
        chosen = *parsed;
        if (!options.accounts.isEmpty() && !chosen[ItemMailAccounts])
            return refuseRun(record, err,
                             QStringLiteral("--account needs the accounts item among the items."));
    }
    // Taken before anything is looked at or tidied: a run in progress owns the profile.
    const Expected<ProfileLock> lock = ProfileLock::take(context.prefixPath());
    if (!lock)
        return refuseRun(record, err, lock.message());
    // A profile without a mail store is reported here; the items then say what they could do.
    loadProgram(context);
    removeLeftovers(context);

    PasswordInput passwords(options.passwordFile);
    ZipArchive Zip1;
    OpenedBackup state;
    if (Result opened = openForCommand(context, Zip1, options.archive, passwords, state, err);
        !opened) {
        record.setReason(opened.message());
        return CliExit::Refused;
    }
    if (!options.items && options.accounts.isEmpty())
        chosen = state.held;
    else if (!options.items)
        chosen[ItemMailAccounts] = true;
    // Refused before anything changes: a name mistyped must not restore nothing, or the rest.
    if (!options.accounts.isEmpty())
        if (Result accounts = chooseAccounts(state, options.accounts); !accounts) {
            context.endStaging();
            return refuseRun(record, err, terminalText(accounts.message()));
        }
    for (int i = 0; i < ItemCount; ++i)
        if (chosen[i] && !state.held[i])
            err << "brevnor-cli: the archive holds no " << itemName(i) << " item; it is skipped.\n";
    // The run's own messages go to standard error directly, after these.
    err.flush();

    ProgressLine line(STDERR_FILENO, !options.quiet, QStringLiteral("Checking the archive..."));
    const RestoreOutcome outcome = performRestore(context, Zip1, state, chosen, line);
    line.clear();
    if (!outcome.started) {
        context.dialogs().message(outcome.message.text, applicationTitle(), outcome.message.icon,
                                  MessageButtons::Ok);
        record.setReason(outcome.message.text);
        return CliExit::Refused;
    }
    recordItems(record, state, chosen, outcome);
    const QString report = terminalText(outcome.message.text);
    const QString shown = options.quiet ? problemLines(report, restoreCompletedText) : report;
    if (!options.json && !shown.isEmpty())
        out << shown << '\n';
    for (const QString &problem : outcome.problems)
        err << terminalText(problem) << '\n';
    if (outcome.wasStopped())
        return CliExit::Refused;
    if (outcome.allRestored())
        return CliExit::Success;
    // Items that all failed without replacing anything leave the profile as it was.
    return outcome.changed ? CliExit::ItemFailed : CliExit::Refused;
}

} // namespace

int runRestoreCommand(ProgramContext &context, const CliOptions &options, QTextStream &out,
                      QTextStream &err)
{
    RunRecord record(options.archive);
    return record.finish(restore(context, options, out, err, record), options.json, out);
}

} // namespace quillory
