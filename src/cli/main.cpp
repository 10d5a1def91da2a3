#include "app/programcontext.h"
#include "app/stopsignals.h"
#include "cli/backupcommand.h"
#include "cli/clioptions.h"
#include "cli/disccommands.h"
#include "cli/exitstatus.h"
#include "cli/infocommand.h"
#include "cli/itemlist.h"
#include "cli/listcommand.h"
#include "cli/profilecommand.h"
#include "cli/restorecommand.h"
#include "cli/terminaldevice.h"
#include "cli/verifycommand.h"
#include "platform/headlessdialogs.h"
#include "platform/text/legacycodepage.h"
#include "platform/wine/wineprefix.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstring>

#include <cerrno>

namespace {

using namespace quillory;

const char introduction[] =
    "Quillory's companion for scripts and terminals. The mail profile is the Wine prefix\n"
    "named by $WINEPREFIX, else ~/.wine.\n";

using Command = int (*)(ProgramContext &, const CliOptions &, QTextStream &, QTextStream &);

struct CommandHelp {
    QLatin1String name;
    const char *synopsis;
    const char *description;
};

const CommandHelp profileHelp{
    QLatin1String("profile"), "profile",
    "show what Quillory finds in the mail profile: the store folder, the\n"
    "stationery folder and the items that can be backed up"};

struct ArchiveCommand {
    CommandHelp help;
    Command run;
    CliOptionSet options;
};

const ArchiveCommand archiveCommands[] = {
    {{QLatin1String("info"), "info ARCHIVE [--codepage N]",
      "show where and when a backup archive was made, its description and\n"
      "the items it holds"},
     runInfoCommand,
     CliOption::CodePage},
    {{QLatin1String("list"), "list ARCHIVE [--json] [--codepage N]",
      "show what a backup archive holds, item by item: each account folder\n"
      "with its message folders, their messages and bytes; the files of the\n"
      "file items and their sizes; the keys and values of the registry\n"
      "items. Only directories and registry files are read, no message.\n"
      "--json prints one JSON document (see brevnor-cli(1))"},
     runListCommand,
     CliOption::CodePage | CliOption::Json},
    {{QLatin1String("verify"), "verify ARCHIVE [--full] [--quiet] [--json] [--codepage N]",
      "read every entry of an archive, checking its CRC and, for a protected\n"
      "archive, the password's authentication code, check every account's archive\n"
      "in it as a restore would (with --full, reading each of its files through\n"
      "too), and say whether it is sound"},
     runVerifyCommand,
     CliOption::CodePage | CliOption::Quiet | CliOption::Json | CliOption::Full},
    {{QLatin1String("restore"),
      "restore ARCHIVE [--items LIST] [--account NAME]... [--quiet] [--json]\n"
      "             [--codepage N]",
      "put the items back into the mail profile without asking, replacing what\n"
      "is there, and print the report; LIST defaults to every item the archive\n"
      "holds. Nothing is restored when an entry the items need is damaged, or\n"
      "when a registry item is chosen while Wine runs for the profile. With\n"
      "--account, the accounts item restores only the account folders named\n"
      "(as list shows them, in any case), each swapped in whole; LIST then\n"
      "defaults to the accounts item alone"},
     runRestoreCommand,
     CliOption::Items | CliOption::CodePage | CliOption::Account | CliOption::Quiet |
         CliOption::Json},
    {{QLatin1String("backup"),
      "backup ARCHIVE [--items LIST] [--description TEXT] [--protect] [--keep N]\n"
      "             [--quiet] [--json] [--dry-run]",
      "back the mail profile up into ARCHIVE and print the log; LIST defaults\n"
      "to every item the profile has data for. --protect encrypts the archive\n"
      "with a password; so does --password-file. --keep N (1 to 99) keeps the\n"
      "last N archives: the one replaced stays beside it, named after the time\n"
      "it was written (\"mail 2026-12-08 0900.wlm\"), and the oldest beyond N go.\n"
      "Before it starts, a warning says when the archive will not fit where it\n"
      "goes or in the temporary folder; the backup goes on. --dry-run prints\n"
      "the estimated size of the archive and the free space, and writes nothing"},
     runBackupCommand,
     CliOption::Items | CliOption::Description | CliOption::Protect | CliOption::Keep |
         CliOption::Quiet | CliOption::Json | CliOption::DryRun},
};

const char itemsText[] =
    "\n"
    "LIST names items by index or name, separated by commas (for example 1,contacts):\n";

const char passwordsText[] =
    "\n"
    "Passwords are never taken from the command line. When an archive is protected, or\n"
    "a backup is to be, the password is the first line of the file given with\n"
    "--password-file FILE, else the environment variable QUILLORY_PASSWORD, else it is\n"
    "asked on the terminal without echo (twice for a backup).\n";

const char codePageText[] =
    "\n"
    "Archives made on Windows hold their texts, names and passwords in the ANSI code\n"
    "page of that Windows. Such texts are read in code page N of --codepage N, else of\n"
    "the environment variable QUILLORY_CODEPAGE, else in the one Wine gives the locale.\n";

const char progressText[] =
    "\n"
    "On a terminal, backup, restore, verify, burn, iso and erase show their progress on one\n"
    "line of standard error; --quiet leaves it out and prints only the report's problems.\n"
    "--json prints the outcome of backup, restore or verify as one JSON document.\n";

const char exitText[] =
    "\n"
    "Exit status: 0 success; 1 an item could not be backed up or restored (for profile:\n"
    "the profile has no usable mail store); 2 usage error, an archive that cannot be\n"
    "read or is damaged, a wrong password, a run that changed nothing, or a run stopped\n"
    "by a signal.\n";

void printItems(QTextStream &stream)
{
    stream << itemsText;
    for (int i = 0; i < ItemCount; ++i)
        stream << "  " << i << ' ' << itemName(i).leftJustified(13) << itemCaption(i) << '\n';
}

// The description's lines, each after the given indent but the first.
QString indented(const char *description, int indent)
{
    return QString::fromLatin1(description)
        .replace(QLatin1Char('\n'), QLatin1Char('\n') + QString(indent, QLatin1Char(' ')));
}

void printUsage(QTextStream &stream)
{
    stream << "Usage: brevnor-cli COMMAND [ARGUMENTS]\n\n" << introduction << "\nCommands:\n";
    const auto entry = [&](const CommandHelp &help) {
        const QString synopsis = QString::fromLatin1(help.synopsis);
        // A synopsis that does not leave room for the description gets a line of its own.
        if (synopsis.size() < 10)
            stream << "  " << synopsis.leftJustified(11);
        else
            stream << "  " << synopsis << "\n             ";
        stream << indented(help.description, 13) << '\n';
    };
    entry(profileHelp);
    for (const ArchiveCommand &command : archiveCommands)
        entry(command.help);
    stream << discUsage;
    stream << "  --help     show this text; COMMAND --help shows the command's own\n";
    printItems(stream);
    stream << passwordsText << codePageText << progressText << exitText;
}

void printCommandHelp(QTextStream &stream, const CommandHelp &help, bool archive, bool items,
                      bool codePage = false, bool progress = false)
{
    QString description = QString::fromLatin1(help.description);
    description.front() = description.front().toUpper();
    stream << "Usage: brevnor-cli " << help.synopsis << "\n\n" << description << ".\n";
    if (items)
        printItems(stream);
    if (archive)
        stream << passwordsText;
    if (codePage)
        stream << codePageText;
    if (progress)
        stream << progressText;
    stream << exitText;
}

// What the user typed as a command, without anything after "=": it may be a value typed where
// it does not belong, a password even.
QString shownCommand(const QString &command)
{
    return command.section(QLatin1Char('='), 0, 0);
}

int runCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (args.isEmpty()) {
        printUsage(err);
        return CliExit::Refused;
    }
    const QString &command = args.first();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        printUsage(out);
        return CliExit::Success;
    }
    if (command == profileHelp.name && args.size() == 2 &&
        (args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h"))) {
        printCommandHelp(out, profileHelp, false, false);
        return CliExit::Success;
    }
    if (isDiscCommand(command)) {
        if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
            out << "Usage: brevnor-cli COMMAND [ARGUMENTS]\n\nDisc commands:\n"
                << discUsage << progressText << exitText;
            return CliExit::Success;
        }
        return runDiscCommand(args, out, err);
    }
    HeadlessDialogs dialogs;
    ProgramContext context(defaultWinePrefix(), dialogs);
    if (command == profileHelp.name && args.size() == 1)
        return runProfileCommand(context, out);
    for (const ArchiveCommand &archiveCommand : archiveCommands) {
        if (command != archiveCommand.help.name)
            continue;
        const Expected<CliOptions> options = parseCliOptions(args.mid(1), archiveCommand.options);
        if (!options) {
            err << "brevnor-cli " << command << ": " << options.message() << "\n\n";
            printCommandHelp(err, archiveCommand.help, true,
                             archiveCommand.options.testFlag(CliOption::Items),
                             archiveCommand.options.testFlag(CliOption::CodePage),
                             archiveCommand.options.testFlag(CliOption::Quiet));
            return CliExit::Refused;
        }
        if (options->help) {
            printCommandHelp(out, archiveCommand.help, true,
                             archiveCommand.options.testFlag(CliOption::Items),
                             archiveCommand.options.testFlag(CliOption::CodePage),
                             archiveCommand.options.testFlag(CliOption::Quiet));
            return CliExit::Success;
        }
        if (options->codePage)
            chooseLegacyCodePage(*options->codePage);
        return archiveCommand.run(context, *options, out, err);
    }
    if (command.startsWith(QLatin1Char('-')))
        err << "brevnor-cli: unknown option \"" << shownCommand(command) << "\"\n\n";
    else
        err << "brevnor-cli: unknown command \"" << shownCommand(command) << "\"\n\n";
    printUsage(err);
    return CliExit::Refused;
}

} // namespace

int main(int argc, char *argv[])
{
    installStopSignals();
    QCoreApplication app(argc, argv);
    TerminalDevice outDevice(stdout);
    TerminalDevice errDevice(stderr);
    QTextStream out(&outDevice);
    QTextStream err(&errDevice);
    // A run stopped by a signal says so itself and fails; one whose work was all done when the
    // signal came reports that work as it is.
    int status = runCommand(app.arguments().mid(1), out, err);
    out.flush();
    // Output that did not reach its file (a full disk) is no success; a reader that went away
    // (`| head -1`) ended the program already, as it ends ls.
    if (const int error = outDevice.finish(); error != 0 && error != EPIPE) {
        err << "brevnor-cli: the output could not be written: "
            << QString::fromLocal8Bit(std::strerror(error)) << '\n';
        err.flush();
        status = CliExit::Refused;
    }
    return status;
}
