#include "cli/infocommand.h"

#include "app/programcontext.h"
#include "cli/archiveopening.h"
#include "cli/clioptions.h"
#include "cli/exitstatus.h"
#include "cli/itemlist.h"
#include "cli/passwordinput.h"
#include "cli/terminaltext.h"
#include "platform/zip/ziparchive.h"
#include "restore/openedbackup.h"

namespace quillory {

int runInfoCommand(ProgramContext &context, const CliOptions &options, QTextStream &out,
                   QTextStream &err)
{
    PasswordInput passwords(options.passwordFile);
    ZipArchive Zip1;
    OpenedBackup state;
    if (!openForCommand(context, Zip1, options.archive, passwords, state, err))
        return CliExit::Refused;
    out << "Archive: " << options.archive << '\n'
        << terminalText(state.origin) << '\n'
        << "Description:\n";
    for (const QString &line : terminalText(state.description).split(QLatin1Char('\n')))
        out << "  " << line << '\n';
    out << "Items held:\n";
    for (int i = 0; i < ItemCount; ++i)
        out << "  [" << (state.held[i] ? 'x' : ' ') << "] " << i << ' '
            << itemName(i).leftJustified(13) << itemCaption(i) << '\n';
    context.endStaging();
    return CliExit::Success;
}

} // namespace quillory
