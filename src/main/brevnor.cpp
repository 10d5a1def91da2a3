#include "platform/headlessdialogs.h"
#include "platform/userdialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>

#include <memory>

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
    QLabel label(QStringLiteral("Quillory"));
    label.show();
    return app.exec();
}
