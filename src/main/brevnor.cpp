#include "app/programcontext.h"
#include "backup/windows/backuptab.h"
#include "help/windows/productlogo.h"
#include "main/unattended.h"
#include "main/windows/frmmain.h"
#include "platform/widgets/widgetdialogs.h"
#include "platform/wine/wineprefix.h"
#include "restore/windows/restoretab.h"
#include "schedule/backupjobscheduler.h"
#include "schedule/windows/schedulercommand.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // With argument text the program runs one unattended backup and must not need a display.
    if (quillory::hasArgumentText(argc, argv))
        return quillory::runUnattended(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLORY_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quillory"));
    QApplication::setWindowIcon(quillory::productIcon());

    quillory::WidgetDialogs dialogs;
    quillory::ProgramContext context(quillory::defaultWinePrefix(), dialogs);
    quillory::CrontabScheduler scheduler = quillory::backupJobScheduler(context.prefixPath());
    quillory::frmMain window(context);
    quillory::BackupTab backupTab(window);
    quillory::RestoreTab restoreTab(window);
    quillory::attachScheduler(window, scheduler);
    dialogs.setParent(&window);
    window.show();
    return app.exec();
}
