#pragma once

#include "platform/zip/ziparchive.h"

#include <QList>
#include <QObject>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace quillory {

class RunHost;
class SizeEstimateView;

// The Backup tab of the main window: choosing the archive, the password option, and the
// interactive backup run started by "Backup Now".
class BackupTab : public QObject {
    Q_OBJECT

public:
    // The tab's controls are found by name in the host's window; `items` are its item boxes, by
    // item index.
    BackupTab(RunHost &host, QList<QCheckBox *> items);

    void cmdTargetFile_Click();
    void ifprotect_Click();
    // Checks the input, then runs the backup off the window's thread and reports it.
    void RunBackup();

Q_SIGNALS:
    // The user chose to burn `archivePath`, just written, and the burning window opens with it.
    void archiveOfferedForDisc(const QString &archivePath);

private:
    // After a finished backup: asks whether to burn the archive written, `archivePath`, and
    // opens the burning window with it.
    void offerDisc(const QString &archivePath);

    RunHost &m_host;
    QList<QCheckBox *> m_items;
    ZipArchive m_archive; // the archive a run writes
    QLineEdit *txtTargetFile;
    QCheckBox *ifprotect;
    QLineEdit *txtPassword;
    QLineEdit *txtPassword2;
    QPlainTextEdit *txtAttachInfo;
    SizeEstimateView *m_estimate;
};

} // namespace quillory
