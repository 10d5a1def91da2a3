#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmPwd;
}

namespace quillory {

// The password prompt of a protected archive. Enter in the box acts as OK. As a child of the
// main window it takes on the window's skin.
class frmPwd : public QDialog {
    Q_OBJECT

public:
    explicit frmPwd(QWidget *parent = nullptr);
    ~frmPwd() override;

    QString password() const;

private:
    std::unique_ptr<Ui::frmPwd> ui;
};

} // namespace quillory
