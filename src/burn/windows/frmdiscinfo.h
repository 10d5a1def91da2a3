#pragma once

#include "burn/windows/discdialog.h"

#include <memory>

namespace Ui {
class frmDiscInfo;
}

namespace quillory {

// What the disc-writing component reports about the medium in the burning window's selected
// drive, and closing its incomplete last session or the whole disc. The dialog works on the
// burning window's own writer and never selects a drive itself.
class frmDiscInfo : public DiscDialog {
    Q_OBJECT

public:
    // The writer and the dialogs must outlive the dialog.
    frmDiscInfo(DiscWriter &writer, UserDialogs &dialogs, QWidget *parent = nullptr);
    ~frmDiscInfo() override;

    // Shows the dialog modally over its parent, unless the drive holds no medium: then it says
    // so and shows nothing (and answers Rejected).
    int ShowDiscInfo();
    // The burning window opens the dialog with exec(), which must check for a medium first.
    int exec() override;

private:
    void Form_Load();
    void RefreshDiscInfo();
    void cmdOK_Click();
    void cmdCloseSession_Click();
    void cmdCloseDisc_Click();
    void closeMedia(bool finalize, const QString &failure);
    void setButtonsEnabled(bool on);
    void mobjDVDPro_ClosingDisc();
    void mobjDVDPro_ClosingSession();
    void mobjDVDPro_WriteCompleted();
    void mobjDVDPro_WriteError(int category, int driveCode, const QString &description,
                               const QString &senseData);

    std::unique_ptr<Ui::frmDiscInfo> ui;
};

} // namespace quillory
