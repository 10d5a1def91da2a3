#include "platform/widgets/frmpwd.h"

#include "ui_frmpwd.h"

namespace quillory {

frmPwd::frmPwd(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmPwd>())
{
    ui->setupUi(this);
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
