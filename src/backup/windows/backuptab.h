#pragma once

#include <QObject>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace quillory {

class frmMain;

// The Backup tab of the main window: choosing the archive, the password option, and the
// interactive backup run started by "Backup Now".
class BackupTab : public QObject {
    Q_OBJECT

public:
    explicit BackupTab(frmMain &window);

    void cmdTargetFile_Click();
    void ifprotect_Click();
    // Checks the input, then runs the backup off the window's thread and reports it.
    void RunBackup();

private:
    // After a finished backup: asks whether to burn the archive written, `archivePath`, and
    // opens the burning window with it.
    void offerDisc(const QString &archivePath);

    frmMain &m_window;
    QLineEdit *txtTargetFile;
    QCheckBox *ifprotect;
    QLineEdit *txtPassword;
    QLineEdit *txtPassword2;
    QPlainTextEdit *txtAttachInfo;
};

} // namespace quillory
