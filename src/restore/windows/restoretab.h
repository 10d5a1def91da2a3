#pragma once

#include "platform/zip/ziparchive.h"
#include "restore/openedbackup.h"

#include <QList>
#include <QObject>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace quillory {

class RunHost;

// The Restore tab of the main window: opening a backup archive and the restore run started by
// "Restore Now".
class RestoreTab : public QObject {
    Q_OBJECT

public:
    // The tab's controls are found by name in the host's window; `items` are its item boxes, by
    // item index.
    RestoreTab(RunHost &host, QList<QCheckBox *> items);

    const OpenedBackup &openedBackup() const { return m_state; }

    void cmdSourceFile_Click();
    // The tab's button asks first; the menu command does not.
    void RestoreNow(bool askFirst);

private:
    RunHost &m_host;
    QList<QCheckBox *> m_items;
    ZipArchive m_archive; // the archive opened, read again by a run
    QLineEdit *txtSourceFile;
    QPlainTextEdit *txtPOBinfo;
    QPlainTextEdit *txtFileInfo;
    OpenedBackup m_state;
};

} // namespace quillory
