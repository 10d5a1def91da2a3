#include "help/windows/frmabout.h"

#include "ui_frmabout.h"

#include "help/helplocations.h"
#include "help/windows/productlogo.h"

#include <QApplication>
#include <QUrl>

namespace quillory {

namespace {

// Found by name: the about box is also opened from windows that do not know the main window.
QWidget *mainWindow()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows)
        if (window->objectName() == QLatin1String("frmMain"))
            return window;
    return nullptr;
}

} // namespace

frmabout::frmabout(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmabout>())
{
    ui->setupUi(this);
    Skin1.load(Skin::windowSkinPath());
    Skin1.apply(this);

    ui->picLogo->setPixmap(productLogo(ui->picLogo->minimumSize()));
    ui->lblWebsite->setText(productWebAddress());
    ui->lblEmail->setText(supportEmailAddress());
    // Without an e-mail address of its own the build points to the help's troubleshooting page.
    if (!QUrl(supportEmailAddress()).scheme().isEmpty())
        ui->lblEmailCaption->setText(QStringLiteral("Support"));
    connect(ui->Command3, &QPushButton::clicked, this, &frmabout::Command3_Click);
}

frmabout::~frmabout() = default;

void frmabout::Command3_Click()
{
    accept();
    if (QWidget *window = mainWindow())
        window->show();
}

} // namespace quillory
