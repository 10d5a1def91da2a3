#include "app/programcontext.h"
#include "app/windows/frmmain.h"
#include "help/windows/productlogo.h"
#include "platform/headlessdialogs.h"
#include "platform/userdialogs.h"
#include "platform/widgets/widgetdialogs.h"
#include "platform/wine/wineprefix.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // With argument text the program runs one unattended backup and must not need a display.
    if (argc > 1) {
        QCoreApplication app(argc, argv);
        quillory::HeadlessDialogs dialogs;
        dialogs.message(QStringLiteral("The unattended backup is not part of this build yet."),
                        quillory::applicationTitle(), quillory::MessageIcon::Error,
                        quillory::MessageButtons::Ok);
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLORY_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quillory"));
    QApplication::setWindowIcon(quillory::productIcon());

    quillory::WidgetDialogs dialogs;
    quillory::ProgramContext context(quillory::defaultWinePrefix(), dialogs);
    quillory::frmMain window(context);
    dialogs.setParent(&window);
    window.show();
    return app.exec();
}
