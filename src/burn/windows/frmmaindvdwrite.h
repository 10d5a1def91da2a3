#pragma once

#include "app/windows/skin.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QHash>
#include <QIcon>
#include <QString>

#include <memory>

class QLabel;
class QMimeData;
class QDateTime;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ui {
class frmMaindvdwrite;
}

namespace quillory {

class DiscWriter;
class UserDialogs;

// The burning window: the compilation as a directory tree beside the files of one directory,
// the recorder and its write speed, the options, and writing to a disc or an image file. The
// views only mirror what the disc writer reports through its events. While a write runs the
// window is busy: it cannot be closed and only Cancel and the Action and About menus work.
class frmMaindvdwrite : public QDialog {
    Q_OBJECT

public:
    // `backupfiletocd` and `backupcdpath` name an archive to put into the compilation's root;
    // either empty means none. The writer must outlive the window.
    frmMaindvdwrite(DiscWriter &writer, UserDialogs &dialogs, const QString &backupfiletocd = {},
                    const QString &backupcdpath = {}, QWidget *parent = nullptr);
    ~frmMaindvdwrite() override;

    // Shows the window modally on the program's own disc writer.
    static void showModal(UserDialogs &dialogs, const QString &backupfiletocd,
                          const QString &backupcdpath, QWidget *parent);

    bool isIdle() const { return m_idle; }
    int selectedDevice() const { return m_selectedDevice; }
    // The status bar's panels 1 to 3.
    QString statusPanel(int panel) const;

    // Closing with files in the compilation asks first: they would be thrown away.
    void done(int result) override;

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void connectWriter();
    void SetIdle(bool idle);

    // The compilation views.
    void OLEDragDrop(const QMimeData *data);
    // Adds files and folders under their own names to the selected directory; tells what was
    // refused or left out.
    void addSources(const QStringList &paths);
    void mnuActionAddFiles_Click();
    void mnuActionAddFolder_Click();
    void RefreshView();
    void ListDirectory(const QString &key);
    void UpdateStatus();
    void setPanel(int panel, const QString &text);
    void tvwDirectories_NodeClick(QTreeWidgetItem *node);
    void showPopup(QTreeWidget *view, const QPoint &at);
    void mnuFileClear_Click();
    void mnuFileRemoveDir_Click();
    void mnuFileRemoveFile_Click();
    void mnuFileRenameDir_Click();
    void mnuFileRenameFile_Click();
    void AfterLabelEdit(QTreeWidgetItem *item);
    void txtVolIdentifier_Change(const QString &text);
    QTreeWidgetItem *rootNode() const;
    QTreeWidgetItem *selectedNode() const;
    QTreeWidgetItem *nodeByKey(const QString &key) const;

    // Drives and options.
    void EnumerateDrives();
    void cboDevices_Click();
    // Reads the medium's facts again: a disc may have come since they were read.
    void refreshMedia();
    void FillSpeedList();
    void cboWriteSpeed_Click();
    void chkUseJoliet_Click();
    void chkCacheImage_Click();

    // Writing, image files and sessions.
    void cmdWriteDisc_Click();
    void cmdCancel_Click();
    void mnuFileSaveImageAsISO_Click();
    void mnuFileWriteDiscFromISO_Click();
    void mnuCDRecorderImportPreviousSession_Click();
    void mnuAboutAbout_Click();
    void setTrackOptions(bool cd);
    void showProgress(qint64 done, qint64 total);
    // The bar, and the status line with the speed and the time left.
    void showWriteProgress(qint64 done, qint64 total);
    void info(const QString &text);
    // `details` is the writer's reason, shown on request.
    void error(const QString &text, const QString &details = QString());

    // The disc writer's events.
    void DirectoryAdded(const QString &parentKey, const QString &key, const QString &name);
    void DirectoryRemoved(const QString &key);
    void DirectoryRenamed(const QString &oldKey, const QString &newKey);
    void FileListed(const QString &key, const QString &name, bool isDirectory,
                    const QDateTime &date, qint64 size);
    void ImageCleared();
    void WriteCancelled();
    void WriteError(int category, int driveCode, const QString &description,
                    const QString &senseData);
    void WriteCompleted();
    void VerifyProgress(const QString &discFile, const QString &sourceFile, int status, qint64 done,
                        qint64 total);
    void VerifyCompleted(int compared, int matched);
    void ReplaceImportedFile(const QString &importedFile, const QString &newFile, bool &replace);

    DiscWriter &DVDWriterPro1;
    UserDialogs &m_dialogs;
    std::unique_ptr<Ui::frmMaindvdwrite> ui;
    Skin Skin1;
    QHash<QString, QIcon> ImageList1;
    QLabel *m_panels[3];
    QString m_backupfiletocd;
    QString m_backupcdpath;
    int m_selectedDevice = -1;
    bool m_idle = true;
    bool m_waitCursor = false;
    // Whether the writer's write events belong to an operation this window started.
    bool m_operating = false;
    // Whether the operation running was cancelled.
    bool m_cancelled = false;
    QElapsedTimer m_writeClock;
    // The item whose label is being edited by a rename, if any.
    QTreeWidgetItem *m_renaming = nullptr;
};

} // namespace quillory
