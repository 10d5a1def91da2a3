#pragma once

#include "app/windows/skin.h"

#include <QDialog>

namespace quillory {

class DiscWriter;
class UserDialogs;

// A dialog of the burning window that works on the window's own writer: the writer is lent to
// the dialog while it is shown, with the dialog's handlers connected to its events, and the
// dialog cannot be closed while an operation it started runs on the drive.
class DiscDialog : public QDialog {
    Q_OBJECT

public:
    // The writer and the dialogs must outlive the dialog.
    DiscDialog(DiscWriter &writer, UserDialogs &dialogs, QWidget *parent);

    // Every way of closing the dialog ends here; it is refused while the dialog is busy, and
    // gives the writer back otherwise.
    void done(int result) override;

    // The message of the component's WriteError, as both dialogs show it.
    static QString WriteErrorMessage(int category, int driveCode, const QString &description,
                                     const QString &senseData);

protected:
    // Lends the window's writer to the dialog; the handlers are connected by the caller.
    DiscWriter &lendWriter();
    void applySkin();

    UserDialogs &m_dialogs;
    // The lent writer while the dialog is shown.
    DiscWriter *mobjDVDPro = nullptr;
    bool m_busy = false;

private:
    DiscWriter &m_writer;
    Skin Skin1;
};

} // namespace quillory
