#pragma once

#include "burn/windows/discdialog.h"
#include "platform/userdialogs.h"

#include <memory>

namespace Ui {
class frmErase;
}

namespace quillory {

// Erases the re-writable medium in the burning window's selected drive, quickly (the table of
// contents only) or completely, on the burning window's own writer. An erase that has begun
// cannot be cancelled, so the dialog stays until it ends.
class frmErase : public DiscDialog {
    Q_OBJECT

public:
    // The writer and the dialogs must outlive the dialog.
    frmErase(DiscWriter &writer, UserDialogs &dialogs, QWidget *parent = nullptr);
    ~frmErase() override;

    // Shows the dialog modally, ready to erase.
    int ShowErase();
    // The burning window opens the dialog with exec().
    int exec() override;
    // The drive as the burning window shows it, named before an erase.
    void setDriveName(const QString &name) { m_driveName = name; }

private:
    void Form_Load();
    void cmdErase_Click();
    void cmdCancel_Click();
    void refuse(const QString &text, MessageIcon icon);
    void setButtonsEnabled(bool on);
    void mobjDVDPro_EraseStarted();
    void mobjDVDPro_EraseCompleted();
    void mobjDVDPro_WriteError(int category, int driveCode, const QString &description,
                               const QString &senseData);

    std::unique_ptr<Ui::frmErase> ui;
    QString m_driveName = QStringLiteral("the selected drive");
};

} // namespace quillory
