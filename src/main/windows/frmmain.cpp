#include "main/windows/frmmain.h"

#include "ui_frmmain.h"

#include "app/itemtable.h"
#include "app/profilelock.h"
#include "app/programcontext.h"
#include "app/programstart.h"
#include "app/stagingfolder.h"
#include "app/storediscovery.h"
#include "app/windows/runpanelobserver.h"
#include "burn/windows/frmmaindvdwrite.h"
#include "help/helplocations.h"
#include "help/windows/frmabout.h"
#include "help/windows/shellhelpers.h"
#include "main/windows/pagescrollarea.h"
#include "platform/userdialogs.h"
#include "platform/widgets/passwordmask.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

namespace quillory {

namespace {

const QString idleStep = QStringLiteral("Please Waiting...");

QList<QCheckBox *> itemBoxes(QWidget *form, const QString &arrayName)
{
    QList<QCheckBox *> boxes;
    for (int i = 0; i < ItemCount; ++i) {
        auto *box = form->findChild<QCheckBox *>(arrayName + QLatin1Char('_') + QString::number(i));
        Q_ASSERT(box);
        // A lone "&" would mark a mnemonic.
        box->setText(shownCaption(i).replace(QLatin1Char('&'), QStringLiteral("&&")));
        boxes.append(box);
    }
    return boxes;
}

void tickEnabled(const QList<QCheckBox *> &boxes)
{
    for (QCheckBox *box : boxes)
        if (box->isEnabled())
            box->setChecked(true);
}

void untickAll(const QList<QCheckBox *> &boxes)
{
    for (QCheckBox *box : boxes)
        box->setChecked(false);
}

} // namespace

struct frmMain::Run {
    explicit Run(ProfileLock profile) : lock(std::move(profile)) {}

    // Held until the work is done, not while its report and what follows it are shown.
    std::optional<ProfileLock> lock;
    RunPanelObserver *observer = nullptr;
    QFutureWatcher<Result> *watcher = nullptr;
    RunCompletion done;
};

frmMain::frmMain(ProgramContext &context, QWidget *parent)
    : QMainWindow(parent), m_context(context), ui(std::make_unique<Ui::frmMain>())
{
    ui->setupUi(this);
    // Set by the scroll area when it took the page; the tab's pane shows through instead.
    for (PageScrollArea *area : findChildren<PageScrollArea *>())
        area->widget()->setAutoFillBackground(false);
    backupitem = itemBoxes(this, QStringLiteral("backupitem"));
    restoreitem = itemBoxes(this, QStringLiteral("restoreitem"));

    selectitem = new QMenu(this);
    selectitem->setObjectName(QStringLiteral("selectitem"));
    selectitem->addActions({ui->Selectallitems, ui->Unselectallitems});
    selectitem2 = new QMenu(this);
    selectitem2->setObjectName(QStringLiteral("selectitem2"));
    selectitem2->addActions({ui->Selectallitems2, ui->Unselectallitems2});
    ui->Frame1->installEventFilter(this);
    ui->Frame4->installEventFilter(this);

    // The style's own mask is a bullet.
    for (QLineEdit *box : {ui->txtPassword, ui->txtPassword2})
        maskWithStars(box);

    // In the status bar, which keeps its height whether the panel shows or not, the panel never
    // changes the window's size.
    ui->statusbar->addWidget(ui->picCon3, 1);
    QSizePolicy panelPolicy = ui->picCon3->sizePolicy();
    panelPolicy.setRetainSizeWhenHidden(true);
    ui->picCon3->setSizePolicy(panelPolicy);

    connect(ui->SSTab1, &QTabWidget::currentChanged, this, [this](int shown) {
        SSTab1_Click(m_shownTab);
        m_shownTab = shown;
    });
    connect(ui->cmdApply, &QPushButton::clicked, this, &frmMain::cmdApply_Click);
    connect(ui->cmdQuit, &QPushButton::clicked, this, &frmMain::cmdQuit_Click);
    connect(ui->cmdAbout, &QPushButton::clicked, this, &frmMain::cmdAbout_Click);
    connect(ui->backup, &QAction::triggered, this, &frmMain::backup_Click);
    connect(ui->backuptocd, &QAction::triggered, this, [this] {
        frmMaindvdwrite::showModal(m_context.dialogs(), backupfiletocd, backupcdpath, this);
    });
    connect(ui->restore, &QAction::triggered, this, &frmMain::restore_Click);
    connect(ui->quit, &QAction::triggered, this, &frmMain::quit_Click);
    connect(ui->help1, &QAction::triggered, this, &frmMain::help1_Click);
    connect(ui->website, &QAction::triggered, this, &frmMain::website_Click);
    connect(ui->about, &QAction::triggered, this, &frmMain::about_Click);
    connect(ui->Selectallitems, &QAction::triggered, this, &frmMain::Selectallitems_Click);
    connect(ui->Unselectallitems, &QAction::triggered, this, &frmMain::Unselectallitems_Click);
    connect(ui->Selectallitems2, &QAction::triggered, this, &frmMain::Selectallitems2_Click);
    connect(ui->Unselectallitems2, &QAction::triggered, this, &frmMain::Unselectallitems2_Click);

    Form_Load();
}

frmMain::~frmMain()
{
    // The work may still use the context, and the archives its tabs hold.
    if (m_run)
        m_run->watcher->waitForFinished();
}

void frmMain::Form_Load()
{
    Skin1.load(Skin::windowSkinPath());
    Skin1.apply(this);

    ui->picCon3->hide();
    ui->pbshow->setRange(0, 100);
    ui->pbshow->setValue(0);

    // One width for both captions, so that the button keeps its place as the tabs change.
    ui->cmdApply->ensurePolished();
    const QString designed = ui->cmdApply->text();
    int applyWidth = 0;
    for (const QString &caption : {QStringLiteral("Backup Now"), QStringLiteral("Restore Now")}) {
        ui->cmdApply->setText(caption);
        applyWidth = std::max(applyWidth, ui->cmdApply->sizeHint().width());
    }
    ui->cmdApply->setMinimumWidth(applyWidth);
    ui->cmdApply->setText(designed);

    m_context.staging();

    // Says itself when the mail client or its store is missing.
    const StoreStatus status = loadProgram(m_context);
    ProgramValues &values = m_context.values();
    ui->cbSource->setText(values.LogonUserName.trimmed());
    ui->cbTarget->setText(values.LogonUserName.trimmed());
    values.LogonUserName = ui->cbSource->text().trimmed();

    // Without a store "Backup Now" stays off for good; the menu keeps its commands.
    m_storeFound = status == StoreStatus::Found;
    updateCommands();
    if (!m_storeFound)
        return;

    ui->cmdApply->setText(ui->SSTab1->currentIndex() == 0 ? QStringLiteral("Backup Now")
                                                          : QStringLiteral("Restore Now"));
    SetItemAvailability();
}

void frmMain::fitToScreen()
{
    // The pages took the skin's fonts only now, as they were shown; their new size has not yet
    // reached the window's layout.
    ui->backupScroll->updateGeometry();
    ui->restoreScroll->updateGeometry();
    // Before the window manager has framed the window its frame is unknown: leave room for the
    // usual title bar and borders.
    const QSize frame(12, 40);
    resize(size().expandedTo(sizeHint()).boundedTo(screen()->availableGeometry().size() - frame));
}

void frmMain::SetItemAvailability()
{
    const ItemFlags available = itemAvailability(m_context.reg(), m_context.store());
    for (QCheckBox *box : std::as_const(backupitem)) {
        box->setEnabled(true);
        box->setChecked(false);
    }
    for (int i = 0; i < ItemCount; ++i)
        if (!available[i])
            backupitem[i]->setEnabled(false);
}

void frmMain::updateCommands()
{
    const bool idle = !m_run;
    ui->cmdApply->setEnabled(idle && m_storeFound);
    // A run works on the archive chosen when it started, through the window's archive objects:
    // a file chosen meanwhile would change neither what it writes nor what it restores.
    ui->cmdTargetFile->setEnabled(idle);
    ui->cmdSourceFile->setEnabled(idle);
    ui->backup->setEnabled(idle);
    ui->restore->setEnabled(idle);
    ui->backuptocd->setEnabled(idle);
    ui->quit->setEnabled(idle);
    ui->cmdQuit->setEnabled(idle);
}

bool frmMain::startRun(const QString &what, RunWork work, RunCompletion done)
{
    if (m_run || m_quitting || !work)
        return false;
    // Another program's backup or restore of this profile is refused here, before anything shows.
    Expected<ProfileLock> lock = ProfileLock::take(m_context.prefixPath());
    if (!lock) {
        m_context.dialogs().message(lock.message(), applicationTitle(), MessageIcon::Error);
        return false;
    }
    m_run = std::make_unique<Run>(std::move(lock.value()));
    m_run->observer = new RunPanelObserver(this);
    m_run->watcher = new QFutureWatcher<Result>(this);
    m_run->done = std::move(done);
    connect(m_run->observer, &RunPanelObserver::progressed, this, &frmMain::showProgress,
            Qt::QueuedConnection);
    connect(m_run->watcher, &QFutureWatcher<Result>::finished, this, &frmMain::finishRun);

    ui->Label1->setText(what);
    ui->pbshow->setValue(0);
    ui->picCon3->show();
    setCursor(Qt::WaitCursor);
    updateCommands();

    RunObserver *observer = m_run->observer;
    m_run->watcher->setFuture(QtConcurrent::run([work = std::move(work), observer]() -> Result {
        // An exception must not take the window's run state with it: it ends the run as a failure.
        try {
            return work(*observer);
        } catch (const std::exception &e) {
            return Result::failure(
                QStringLiteral("The operation stopped because of an unexpected error: %1")
                    .arg(QString::fromLocal8Bit(e.what())));
        } catch (...) {
            return Result::failure(
                QStringLiteral("The operation stopped because of an unexpected error."));
        }
    }));
    return true;
}

void frmMain::showProgress(const QString &step, int percent)
{
    if (!m_run)
        return;
    if (!step.isEmpty())
        ui->Label1->setText(step);
    ui->pbshow->setValue(std::clamp(percent, ui->pbshow->minimum(), ui->pbshow->maximum()));
}

void frmMain::finishRun()
{
    // The notice that the window closes after the run stays in front until it has been read:
    // the report, and the closing, follow it.
    if (m_noticeOpen) {
        m_runEndedUnderNotice = true;
        return;
    }
    const std::unique_ptr<Run> run = std::move(m_run);
    const Result result = run->watcher->result();
    // The watcher is still emitting the signal that called this.
    run->watcher->deleteLater();
    run->observer->deleteLater();

    unsetCursor();
    ui->picCon3->hide();
    ui->pbshow->setValue(0);
    ui->Label1->setText(idleStep);
    updateCommands();
    run->lock.reset();

    if (run->done)
        run->done(result);
    else if (!result.ok())
        m_context.dialogs().message(result.message(), applicationTitle(), MessageIcon::Error);
    if (m_closeWhenRunEnds)
        quit_Click();
}

void frmMain::rememberArchiveForDisc(const QString &archivePath)
{
    backupfiletocd = QFileInfo(archivePath).fileName();
    backupcdpath = archivePath;
}

void frmMain::quit_Click()
{
    if (m_run || m_quitting)
        return;
    m_quitting = true;
    m_context.endStaging();
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}

void frmMain::showEvent(QShowEvent *event)
{
    if (!m_fitted) {
        m_fitted = true;
        fitToScreen();
    }
    QMainWindow::showEvent(event);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (m_run) {
        event->ignore();
        if (m_closeWhenRunEnds)
            return;
        m_closeWhenRunEnds = true;
        m_noticeOpen = true;
        m_context.dialogs().message(
            QStringLiteral(
                "A backup or restore is in progress.\r\nThe window closes when it ends."),
            applicationTitle(), MessageIcon::Information);
        m_noticeOpen = false;
        // Not from inside the close that is being refused.
        if (std::exchange(m_runEndedUnderNotice, false))
            QMetaObject::invokeMethod(this, &frmMain::finishRun, Qt::QueuedConnection);
        return;
    }
    quit_Click();
    event->accept();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress &&
        (watched == ui->Frame1 || watched == ui->Frame4)) {
        const auto *press = static_cast<QMouseEvent *>(event);
        const QPoint at = press->position().toPoint();
        if (watched == ui->Frame1)
            Frame1_MouseDown(press->button(), press->modifiers(), at);
        else
            Frame4_MouseDown(press->button(), press->modifiers(), at);
        return press->button() == Qt::RightButton;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::SSTab1_Click(int previousTab)
{
    ui->cmdApply->setText(previousTab == 1 ? QStringLiteral("Backup Now")
                                           : QStringLiteral("Restore Now"));
}

void frmMain::cmdApply_Click()
{
    if (m_run)
        return;
    if (ui->SSTab1->currentIndex() == 0)
        Q_EMIT backupRequested();
    else
        Q_EMIT restoreRequested(true);
}

void frmMain::cmdQuit_Click()
{
    quit_Click();
}

void frmMain::cmdAbout_Click()
{
    about_Click();
}

void frmMain::Frame1_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &at)
{
    if (button == Qt::RightButton)
        selectitem->popup(ui->Frame1->mapToGlobal(at));
}

void frmMain::Frame4_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &at)
{
    if (button == Qt::RightButton)
        selectitem2->popup(ui->Frame4->mapToGlobal(at));
}

void frmMain::backup_Click()
{
    if (!m_run)
        Q_EMIT backupRequested();
}

void frmMain::restore_Click()
{
    if (!m_run)
        Q_EMIT restoreRequested(false);
}

void frmMain::help1_Click()
{
    ShowHelp(m_context.dialogs());
}

void frmMain::website_Click()
{
    if (!ShellOpen(productWebAddress()))
        m_context.dialogs().message(QStringLiteral("No program was found to open the web page %1. "
                                                   "Please open it in a web browser.")
                                        .arg(productWebAddress()),
                                    applicationTitle(), MessageIcon::Error);
}

void frmMain::about_Click()
{
    frmabout box(this);
    box.exec();
}

void frmMain::Selectallitems_Click()
{
    tickEnabled(backupitem);
}

void frmMain::Unselectallitems_Click()
{
    untickAll(backupitem);
}

void frmMain::Selectallitems2_Click()
{
    tickEnabled(restoreitem);
}

void frmMain::Unselectallitems2_Click()
{
    untickAll(restoreitem);
}

} // namespace quillory
