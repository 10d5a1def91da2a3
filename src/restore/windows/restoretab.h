#pragma once

#include "platform/zip/ziparchive.h"
#include "restore/openedbackup.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <optional>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

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
    // Lists the accounts the archive holds, to choose those the accounts item restores.
    void cmdAccounts_Click();
    // The tab's button asks first; the menu command does not.
    void RestoreNow(bool askFirst);

private:
    RunHost &m_host;
    QList<QCheckBox *> m_items;
    ZipArchive m_archive; // the archive opened, read again by a run
    QLineEdit *txtSourceFile;
    QPlainTextEdit *txtPOBinfo;
    QPlainTextEdit *txtFileInfo;
    QPushButton *cmdAccounts;
    OpenedBackup m_state;
    // The account folders chosen to restore; nullopt, as after opening, restores them all.
    std::optional<QStringList> m_accounts;
};

} // namespace quillory
