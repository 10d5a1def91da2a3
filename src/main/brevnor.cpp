#include "app/leftovers.h"
#include "app/programcontext.h"
#include "app/stopsignals.h"
#include "app/windows/skin.h"
#include "help/windows/productlogo.h"
#include "main/jobstart.h"
#include "main/startoptions.h"
#include "main/unattended.h"
#include "main/windows/frmmain.h"
#include "main/windows/maintabs.h"
#include "platform/clock.h"
#include "platform/widgets/widgetdialogs.h"
#include "platform/wine/wineprefix.h"
#include "schedule/backupjobscheduler.h"
#include "schedule/failednotice.h"
#include "schedule/windows/schedulercommand.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

// Without any display Qt aborts the program; a platform named explicitly is Qt's to judge.
bool displayAvailable()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> answered = quillory::answerStartOptions(argc, argv))
        return *answered;
    const int stopWake = quillory::installStopSignals();
    if (quillory::isJobStart(argc, argv))
        return quillory::runJob(argc, argv);
    // With argument text the program runs one unattended backup and must not need a display.
    if (quillory::hasArgumentText(argc, argv))
        return quillory::runUnattended(argc, argv);
    if (!displayAvailable()) {
        std::fputs("brevnor: the window needs a display, and there is none (DISPLAY and "
                   "WAYLAND_DISPLAY are not set); the unattended run needs its argument text, "
                   "sf=USERxm=ITEMSps=PASSWORDbf=ARCHIVE.\n",
                   stderr);
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLORY_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quillory"));
    QApplication::setWindowIcon(quillory::productIcon());

    quillory::WidgetDialogs dialogs;
    // The start-up messages open before the main window could lend them its skin.
    quillory::Skin skin;
    skin.load(quillory::Skin::windowSkinPath());
    dialogs.setLook(skin.styleSheet());
    quillory::ProgramContext context(quillory::defaultWinePrefix(), dialogs);
    quillory::CrontabScheduler scheduler = quillory::backupJobScheduler(context.prefixPath());
    quillory::frmMain window(context);
    quillory::attachTabs(window);
    quillory::attachScheduler(window, scheduler);
    dialogs.setParent(&window);
    // The window has located the store.
    quillory::removeLeftovers(context);
    // A run in progress stops at its next look at the flag; leaving the event loops then lets
    // the window wait for it and the context remove the staging folder on the way out.
    std::unique_ptr<QSocketNotifier> stopNotifier;
    if (stopWake >= 0) {
        stopNotifier = std::make_unique<QSocketNotifier>(stopWake, QSocketNotifier::Read);
        QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, &app, [] {
            quillory::drainStopWake();
            QCoreApplication::exit(quillory::stoppedBySignalExit);
        });
    }
    window.show();
    QTimer::singleShot(0, &window, [&dialogs] {
        quillory::tellFailedScheduledBackups(dialogs, quillory::backupJobFolder(),
                                             quillory::clockNow());
    });
    return app.exec();
}
