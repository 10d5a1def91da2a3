#include "app/programcontext.h"
#include "cli/profilecommand.h"
#include "platform/headlessdialogs.h"
#include "platform/wine/wineprefix.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

const char usage[] =
    "Usage: brevnor-cli COMMAND\n"
    "\n"
    "Quillory's companion for scripts and terminals. The mail profile is the Wine prefix\n"
    "named by $WINEPREFIX, else ~/.wine.\n"
    "\n"
    "Commands:\n"
    "  profile    show what Quillory finds in the mail profile: the store folder, the\n"
    "             stationery folder and the items that can be backed up\n"
    "  --help     show this text\n"
    "\n"
    "Exit status: 0 success, 1 the profile has no usable mail store, 2 usage error.\n";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        err << usage;
        return 2;
    }
    const QString &command = args.first();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        out << usage;
        return 0;
    }
    quillory::HeadlessDialogs dialogs;
    quillory::ProgramContext context(quillory::defaultWinePrefix(), dialogs);
    if (command == QLatin1String("profile") && args.size() == 1)
        return quillory::runProfileCommand(context, out);
    err << "brevnor-cli: unknown command line: " << args.join(QLatin1Char(' ')) << "\n\n" << usage;
    return 2;
}
