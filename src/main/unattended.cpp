#include "main/unattended.h"

#include "app/programcontext.h"
#include "app/programstart.h"
#include "backup/autobackup.h"
#include "platform/headlessdialogs.h"
#include "platform/wine/wineprefix.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstring>
#include <vector>

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

// Overwrites the password in the process's own argument memory, which is what other users see
// in the process list. The password runs from after the third "=" ("ps=") to the key of the
// last field ("bf="); the text has been copied before this.
void hidePassword(int argc, char *argv[])
{
    struct Place {
        char *byte;
        char value;
    };
    std::vector<Place> places;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            places.push_back({nullptr, ' '});
        for (char *c = argv[i]; *c; ++c)
            places.push_back({c, *c});
    }
    std::vector<size_t> equals;
    for (size_t i = 0; i < places.size(); ++i)
        if (places[i].value == '=')
            equals.push_back(i);
    if (equals.size() < 4)
        return;
    const size_t first = equals[2] + 1;
    const size_t last = equals.back() >= 2 ? equals.back() - 2 : 0;
    for (size_t i = first; i < last; ++i)
        if (places[i].byte)
            *places[i].byte = '*';
}

} // namespace

bool hasArgumentText(int argc, char *argv[])
{
    return !argumentBytes(argc, argv).isEmpty();
}

int runUnattended(int argc, char *argv[])
{
    const QString commandLine = QString::fromLocal8Bit(argumentBytes(argc, argv));
    hidePassword(argc, argv);
    QCoreApplication app(argc, argv);
    HeadlessDialogs dialogs;
    ProgramContext context(defaultWinePrefix(), dialogs);
    // A missing store is said on standard error; the run still goes on and its items fail.
    loadProgram(context);
    return RunAutoBackup(context, commandLine);
}

} // namespace quillory
