#include "main/unattended.h"
#include "platform/userdialogs.h"

#include <QApplication>
#include <QLabel>

#include <memory>

int main(int argc, char *argv[])
{
    // With argument text the program runs one unattended backup and must not need a display.
    if (quillory::hasArgumentText(argc, argv))
        return quillory::runUnattended(argc, argv);
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Quillory"));
    label.show();
    return app.exec();
}
