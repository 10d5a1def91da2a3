#pragma once

#include "restore/openedbackup.h"

#include <QObject>

class QLineEdit;
class QPlainTextEdit;

namespace quillory {

class frmMain;

// The Restore tab of the main window: opening a backup archive and the restore run started by
// "Restore Now".
class RestoreTab : public QObject {
    Q_OBJECT

public:
    explicit RestoreTab(frmMain &window);

    const OpenedBackup &openedBackup() const { return m_state; }

    void cmdSourceFile_Click();
    // The tab's button asks first; the menu command does not.
    void RestoreNow(bool askFirst);

private:
    frmMain &m_window;
    QLineEdit *txtSourceFile;
    QPlainTextEdit *txtPOBinfo;
    QPlainTextEdit *txtFileInfo;
    OpenedBackup m_state;
};

} // namespace quillory
