#pragma once

#include "app/windows/skin.h"

#include <QDialog>

#include <memory>

namespace Ui {
class frmabout;
}

namespace quillory {

// The about box: product, thanks, web and e-mail addresses, logo. Shown modally over the window
// that asks for it; "Exit" closes it and brings the main window back.
class frmabout : public QDialog {
    Q_OBJECT

public:
    explicit frmabout(QWidget *parent = nullptr);
    ~frmabout() override;

private:
    void Command3_Click();

    std::unique_ptr<Ui::frmabout> ui;
    Skin Skin1;
};

} // namespace quillory
