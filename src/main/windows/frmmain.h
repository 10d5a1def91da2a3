#pragma once

#include "app/windows/skin.h"
#include "platform/result.h"
#include "platform/zip/ziparchive.h"

#include <QList>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

class QCheckBox;
class QKeyEvent;
class QMenu;

namespace Ui {
class frmMain;
}

namespace quillory {

class ProgramContext;
class RunObserver;

// The main window: a Backup and a Restore tab, the button that starts the run of the visible tab,
// and the progress panel of a run. The backup and restore sides hang their runs onto
// backupRequested() and restoreRequested() and start them with startRun().
class frmMain : public QMainWindow {
    Q_OBJECT

public:
    // The work of a run. It runs on a worker thread: it must not touch any window, and it tells
    // its progress only through the observer.
    using RunWork = std::function<Result(RunObserver &)>;
    // Called on the window's thread once the run has ended and the window is free again.
    using RunCompletion = std::function<void(const Result &)>;

    explicit frmMain(ProgramContext &context, QWidget *parent = nullptr);
    ~frmMain() override;

    ProgramContext &context() const { return m_context; }

    // A control of the form by its name, for the tabs' own handlers.
    template <typename Widget> Widget *control(const char *name) const
    {
        auto *widget = findChild<Widget *>(QLatin1String(name));
        Q_ASSERT(widget);
        return widget;
    }

    // Starts `work` off the window's thread with `what` as its first step. While it runs, the
    // window shows the progress panel and the hourglass and refuses to start another run or to
    // quit. It holds the mail profile's lock meanwhile. False, and nothing started, when a run is
    // already in progress, or when another program runs a backup or restore of the profile (the
    // user is told).
    bool startRun(const QString &what, RunWork work, RunCompletion done = {});
    bool isRunning() const { return m_run != nullptr; }
    // The user closed the window during a run: it closes once the run has ended and reported.
    bool closesWhenRunEnds() const { return m_closeWhenRunEnds; }

    // The one orderly end: closes the archives, removes the staged files and closes every
    // window. Refused while a run is in progress.
    void quit_Click();

    // The item boxes of the two tabs, by item index.
    QList<QCheckBox *> backupitem;
    QList<QCheckBox *> restoreitem;

    ZipArchive Zip1; // the backup archive being written, or the archive opened for restore
    ZipArchive Zip2; // the nested per-account archives

    QString rtPassword;     // typed into the restore side's password prompt
    QString backupfiletocd; // file name of the archive handed to the burning window
    QString backupcdpath;   // full path of that archive

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
    bool isMenuShortcut(const QKeyEvent &key) const;

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
    bool m_fitted = false;
};

} // namespace quillory
