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
#include "cli/terminaltext.h"
#include "platform/runobserver.h"
#include "platform/zip/ziparchive.h"
#include "restore/accountchoice.h"
#include "restore/openedbackup.h"
#include "restore/restorerun.h"

namespace quillory {

int runRestoreCommand(ProgramContext &context, const CliOptions &options, QTextStream &out,
                      QTextStream &err)
{
    ItemFlags chosen{};
    if (options.items) {
        const Expected<ItemFlags> parsed = parseItemList(*options.items);
        if (!parsed) {
            err << "brevnor-cli: " << parsed.message() << '\n';
            return CliExit::Refused;
        }
        chosen = *parsed;
        if (!options.accounts.isEmpty() && !chosen[ItemMailAccounts]) {
            err << "brevnor-cli: --account needs the accounts item among the items.\n";
            return CliExit::Refused;
        }
    }
    // Taken before anything is looked at or tidied: a run in progress owns the profile.
    const Expected<ProfileLock> lock = ProfileLock::take(context.prefixPath());
    if (!lock) {
        err << "brevnor-cli: " << lock.message() << '\n';
        return CliExit::Refused;
    }
    // A profile without a mail store is reported here; the items then say what they could do.
    loadProgram(context);
    removeLeftovers(context);

    PasswordInput passwords(options.passwordFile);
    ZipArchive Zip1;
    OpenedBackup state;
    if (!openForCommand(context, Zip1, options.archive, passwords, state, err))
        return CliExit::Refused;
    if (!options.items && options.accounts.isEmpty())
        chosen = state.held;
    else if (!options.items)
        chosen[ItemMailAccounts] = true;
    // Refused before anything changes: a name mistyped must not restore nothing, or the rest.
    if (!options.accounts.isEmpty())
        if (Result accounts = chooseAccounts(state, options.accounts); !accounts) {
            err << "brevnor-cli: " << terminalText(accounts.message()) << '\n';
            context.endStaging();
            return CliExit::Refused;
        }
    for (int i = 0; i < ItemCount; ++i)
        if (chosen[i] && !state.held[i])
            err << "brevnor-cli: the archive holds no " << itemName(i) << " item; it is skipped.\n";
    // The run's own messages go to standard error directly, after these.
    err.flush();

    SilentObserver observer;
    const RestoreOutcome outcome = performRestore(context, Zip1, state, chosen, observer);
    if (!outcome.started) {
        context.dialogs().message(outcome.message.text, applicationTitle(), outcome.message.icon,
                                  MessageButtons::Ok);
        return CliExit::Refused;
    }
    out << terminalText(outcome.message.text) << '\n';
    for (const QString &problem : outcome.problems)
        err << terminalText(problem) << '\n';
    if (outcome.wasStopped())
        return CliExit::Refused;
    if (outcome.allRestored())
        return CliExit::Success;
    // Items that all failed without replacing anything leave the profile as it was.
    return outcome.changed ? CliExit::ItemFailed : CliExit::Refused;
}

} // namespace quillory
