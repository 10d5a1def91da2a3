#pragma once

#include "app/windows/skin.h"
#include "platform/userdialogs.h"

#include <QDialog>

#include <memory>

namespace Ui {
class frmErase;
}

namespace quillory {

class DiscWriter;

// Erases the re-writable medium in the burning window's selected drive, quickly (the table of
// contents only) or completely, on the burning window's own writer. An erase that has begun
// cannot be cancelled, so the dialog stays until it ends.
class frmErase : public QDialog {
    Q_OBJECT

public:
    // The writer and the dialogs must outlive the dialog.
    frmErase(DiscWriter &writer, UserDialogs &dialogs, QWidget *parent = nullptr);
    ~frmErase() override;

    // Shows the dialog modally, ready to erase.
    int ShowErase();
    // The burning window opens the dialog with exec().
    int exec() override;
    // Every way of closing the dialog ends here; it is refused while erasing.
    void done(int result) override;

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

    DiscWriter &m_writer;
    UserDialogs &m_dialogs;
    // The lent writer, with its events connected, while the dialog is shown.
    DiscWriter *mobjDVDPro = nullptr;
    bool m_busy = false;
    std::unique_ptr<Ui::frmErase> ui;
    Skin Skin1;
};

} // namespace quillory
