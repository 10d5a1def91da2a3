#include "main/unattended.h"

#include "app/programcontext.h"
#include "app/programstart.h"
#include "backup/autobackup.h"
#include "backup/autobackupcommandline.h"
#include "platform/headlessdialogs.h"
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

} // namespace

bool hasArgumentText(int argc, char *argv[])
{
    return !argumentBytes(argc, argv).isEmpty();
}

int runUnattended(int argc, char *argv[])
{
    const QString commandLine = QString::fromLocal8Bit(argumentBytes(argc, argv));
    hidePasswordInArguments(argc, argv);
    QCoreApplication app(argc, argv);
    HeadlessDialogs dialogs;
    ProgramContext context(defaultWinePrefix(), dialogs);
    // A missing store is said on standard error; the run still goes on and its items fail.
    loadProgram(context);
    return RunAutoBackup(context, commandLine);
}

} // namespace quillory
