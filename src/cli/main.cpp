#include "app/programcontext.h"
#include "cli/backupcommand.h"
#include "cli/clioptions.h"
#include "cli/disccommands.h"
#include "cli/exitstatus.h"
#include "cli/infocommand.h"
#include "cli/itemlist.h"
#include "cli/profilecommand.h"
#include "cli/restorecommand.h"
#include "cli/verifycommand.h"
#include "platform/headlessdialogs.h"
#include "platform/wine/wineprefix.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

using namespace quillory;

const char usage[] =
    "Usage: brevnor-cli COMMAND [ARGUMENTS]\n"
    "\n"
    "Quillory's companion for scripts and terminals. The mail profile is the Wine prefix\n"
    "named by $WINEPREFIX, else ~/.wine.\n"
    "\n"
    "Commands:\n"
    "  profile    show what Quillory finds in the mail profile: the store folder, the\n"
    "             stationery folder and the items that can be backed up\n"
    "  info ARCHIVE\n"
    "             show where and when a backup archive was made, its description and\n"
    "             the items it holds\n"
    "  verify ARCHIVE\n"
    "             read every entry of an archive, checking its CRC and, for a protected\n"
    "             archive, the password's authentication code, and say whether it is sound\n"
    "  restore ARCHIVE [--items LIST]\n"
    "             put the items back into the mail profile without asking, replacing what\n"
    "             is there, and print the report; LIST defaults to every item the archive\n"
    "             holds. Nothing is restored when an entry the items need is damaged, or\n"
    "             when a registry item is chosen while Wine runs for the profile\n"
    "  backup ARCHIVE [--items LIST] [--description TEXT] [--protect]\n"
    "             back the mail profile up into ARCHIVE and print the log; LIST defaults\n"
    "             to every item the profile has data for. --protect encrypts the archive\n"
    "             with a password; so does --password-file\n"
    "%DISC%"
    "  --help     show this text\n"
    "\n"
    "LIST names items by index or name, separated by commas (for example 1,contacts):\n";

const char passwords[] =
    "\n"
    "Passwords are never taken from the command line. When an archive is protected, or\n"
    "a backup is to be, the password is the first line of the file given with\n"
    "--password-file FILE, else the environment variable QUILLORY_PASSWORD, else it is\n"
    "asked on the terminal without echo (twice for a backup).\n"
    "\n"
    "Exit status: 0 success; 1 an item could not be backed up or restored (for profile:\n"
    "the profile has no usable mail store); 2 usage error, an archive that cannot be\n"
    "read or is damaged, a wrong password, or a run that changed nothing.\n";

void printUsage(QTextStream &stream)
{
    stream << QString::fromLatin1(usage).replace(QLatin1String("%DISC%"), QLatin1String(discUsage));
    for (int i = 0; i < ItemCount; ++i)
        stream << "  " << i << ' ' << itemName(i).leftJustified(13) << itemCaption(i) << '\n';
    stream << passwords;
}

using Command = int (*)(ProgramContext &, const CliOptions &, QTextStream &, QTextStream &);

struct ArchiveCommand {
    QLatin1String name;
    Command run;
    CliOptionSet options;
};

const ArchiveCommand archiveCommands[] = {
    {QLatin1String("info"), runInfoCommand, {}},
    {QLatin1String("verify"), runVerifyCommand, {}},
    {QLatin1String("restore"), runRestoreCommand, CliOption::Items},
    {QLatin1String("backup"), runBackupCommand,
     CliOption::Items | CliOption::Description | CliOption::Protect},
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        printUsage(err);
        return CliExit::Refused;
    }
    const QString &command = args.first();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        printUsage(out);
        return CliExit::Success;
    }
    if (isDiscCommand(command))
        return runDiscCommand(args, out, err);
    HeadlessDialogs dialogs;
    ProgramContext context(defaultWinePrefix(), dialogs);
    if (command == QLatin1String("profile") && args.size() == 1)
        return runProfileCommand(context, out);
    for (const ArchiveCommand &archiveCommand : archiveCommands) {
        if (command != archiveCommand.name)
            continue;
        const Expected<CliOptions> options = parseCliOptions(args.mid(1), archiveCommand.options);
        if (!options) {
            err << "brevnor-cli " << command << ": " << options.message() << "\n\n";
            printUsage(err);
            return CliExit::Refused;
        }
        return archiveCommand.run(context, *options, out, err);
    }
    err << "brevnor-cli: unknown command line: " << args.join(QLatin1Char(' ')) << "\n\n";
    printUsage(err);
    return CliExit::Refused;
}
