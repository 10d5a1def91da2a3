#include "platform/widgets/frmpwd.h"

#include "ui_frmpwd.h"

#include "platform/widgets/passwordmask.h"

namespace quillory {

frmPwd::frmPwd(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmPwd>())
{
    ui->setupUi(this);
    maskWithStars(ui->txtPassword);
    // A window manager cuts a title wider than the window: leave room for the title, in the
    // bolder font title bars use, and for the frame's icon and buttons.
    QFont titleFont = font();
    titleFont.setBold(true);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(windowTitle());
    setMinimumWidth(qMax(minimumSizeHint().width(), titleWidth * 5 / 4 + 160));
    connect(ui->cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->txtPassword, &QLineEdit::returnPressed, this, &QDialog::accept);
    connect(ui->cmdExit, &QPushButton::clicked, this, &QDialog::reject);
}

frmPwd::~frmPwd() = default;

QString frmPwd::password() const
{
    return ui->txtPassword->text();
}

} // namespace quillory
