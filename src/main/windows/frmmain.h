#pragma once

#include "app/windows/runhost.h"
#include "app/windows/skin.h"

#include <QList>
#include <QMainWindow>
#include <QString>

#include <memory>

class QCheckBox;
class QMenu;

namespace Ui {
class frmMain;
}

namespace quillory {

class ProgramContext;

// The main window: a Backup and a Restore tab, the button that starts the run of the visible tab,
// and the progress panel of a run. The backup and restore tabs hang their runs onto
// backupRequested() and restoreRequested() and start them with startRun().
class frmMain : public QMainWindow, public RunHost {
    Q_OBJECT

public:
    explicit frmMain(ProgramContext &context, QWidget *parent = nullptr);
    ~frmMain() override;

    ProgramContext &context() const override { return m_context; }
    QWidget &window() override { return *this; }

    // While the run works, the window shows the progress panel and the hourglass and refuses to
    // start another run or to quit. It holds the mail profile's lock meanwhile.
    bool startRun(const QString &what, RunWork work, RunCompletion done = {}) override;
    bool isRunning() const override { return m_run != nullptr; }
    bool closesWhenRunEnds() const override { return m_closeWhenRunEnds; }

    // The one orderly end: closes the archives, removes the staged files and closes every
    // window. Refused while a run is in progress.
    void quit_Click();

    // The item boxes of the two tabs, by item index.
    QList<QCheckBox *> backupitem;
    QList<QCheckBox *> restoreitem;

    QString backupfiletocd; // file name of the archive handed to the burning window
    QString backupcdpath;   // full path of that archive

    // The burning window was offered `archivePath`: the menu's command offers it again.
    void rememberArchiveForDisc(const QString &archivePath);

Q_SIGNALS:
    // The Backup tab's "Backup Now" or the menu's "Backup Now".
    void backupRequested();
    // The Restore tab's "Restore Now" asks the user first; the menu's "Restore Now" does not.
    void restoreRequested(bool askFirst);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Run;

    void Form_Load();
    // Opens whole where the screen can hold it; on a small screen at the screen's free size,
    // with the pages scrolling and the buttons in sight.
    void fitToScreen();
    void SetItemAvailability();
    void updateCommands();

    void SSTab1_Click(int previousTab);
    void cmdApply_Click();
    void cmdQuit_Click();
    void cmdAbout_Click();
    void Frame1_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint &at);
    void Frame4_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint &at);
    void backup_Click();
    void restore_Click();
    void help1_Click();
    void website_Click();
    void about_Click();
    void Selectallitems_Click();
    void Unselectallitems_Click();
    void Selectallitems2_Click();
    void Unselectallitems2_Click();

    void showProgress(const QString &step, int percent);
    void finishRun();

    ProgramContext &m_context;
    std::unique_ptr<Ui::frmMain> ui;
    Skin Skin1;
    QMenu *selectitem;
    QMenu *selectitem2;
    std::unique_ptr<Run> m_run;
    int m_shownTab = 0;
    bool m_storeFound = false;
    bool m_quitting = false;
    bool m_closeWhenRunEnds = false;
    bool m_noticeOpen = false;
    bool m_runEndedUnderNotice = false;
    bool m_fitted = false;
};

} // namespace quillory
