#include "burn/windows/frmmaindvdwrite.h"

#include "ui_frmmaindvdwrite.h"

#include "burn/windows/burnwindowcontext.h"
#include "burn/windows/compilationviews.h"
#include "burn/windows/drivepanel.h"
#include "burn/windows/frmdiscinfo.h"
#include "burn/windows/frmerase.h"
#include "burn/windows/writerun.h"
#include "help/windows/frmabout.h"
#include "platform/disc/burndiscwriter.h"
#include "platform/userdialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QScreen>

namespace quillory {

namespace {

// Room left for the window manager's title bar and borders, which are unknown before the window
// is shown.
constexpr QSize frameAllowance(16, 48);

} // namespace

frmMaindvdwrite::frmMaindvdwrite(DiscWriter &writer, UserDialogs &dialogs,
                                 const QString &backupfiletocd, const QString &backupcdpath,
                                 QWidget *parent)
    : QDialog(parent), discWriter(writer), m_dialogs(dialogs),
      ui(std::make_unique<Ui::frmMaindvdwrite>()), m_backupfiletocd(backupfiletocd),
      m_backupcdpath(backupcdpath)
{
    ui->setupUi(this);
    // The form's size suits a large screen; on a small one (a netbook's 1024x600) the window
    // starts within it, so that the buttons and the status bar stay in sight.
    resize(size()
               .boundedTo(screen()->availableGeometry().size() - frameAllowance)
               .expandedTo(minimumSizeHint()));
    m_context = std::make_unique<BurnWindowContext>(BurnWindowContext{discWriter, m_dialogs, *ui});
    for (int i = 0; i < 3; ++i) {
        auto *panel = new QLabel(ui->sbrStatus);
        panel->setObjectName(QStringLiteral("sbrStatusPanel%1").arg(i + 1));
        ui->sbrStatus->addWidget(panel, i == 0 ? 2 : 1);
        m_context->panels[size_t(i)] = panel;
    }
    m_views = new CompilationViews(*m_context, this);
    m_drives = new DrivePanel(*m_context, this);
    m_writeRun = new WriteRun(
        *m_context, *m_views, *m_drives, [this](bool idle) { SetIdle(idle); }, this);
    for (QTreeWidget *view : {ui->tvwDirectories, ui->lvwImageFiles})
        view->viewport()->installEventFilter(this);

    CompilationViews *views = m_views;
    connect(ui->mnuActionAddFiles, &QAction::triggered, views, &CompilationViews::addFiles);
    connect(ui->mnuActionAddFolder, &QAction::triggered, views, &CompilationViews::addFolder);
    connect(ui->cmdAddFiles, &QPushButton::clicked, views, &CompilationViews::addFiles);
    connect(ui->cmdAddFolder, &QPushButton::clicked, views, &CompilationViews::addFolder);
    connect(ui->mnuFileClear, &QAction::triggered, views, &CompilationViews::clear);
    connect(ui->mnuFileRemoveDir, &QAction::triggered, views, &CompilationViews::removeDirectory);
    connect(ui->mnuFileRemoveFile, &QAction::triggered, views, &CompilationViews::removeFile);
    connect(ui->mnuFileRenameDir, &QAction::triggered, views, &CompilationViews::renameDirectory);
    connect(ui->mnuFileRenameFile, &QAction::triggered, views, &CompilationViews::renameFile);

    WriteRun *run = m_writeRun;
    connect(ui->cmdWriteDisc, &QPushButton::clicked, run, &WriteRun::writeDisc);
    connect(ui->cmdCancel, &QPushButton::clicked, run, &WriteRun::cancel);
    connect(ui->mnuActionWriteDisc, &QAction::triggered, run, &WriteRun::writeDisc);
    connect(ui->mnuActionCancel, &QAction::triggered, run, &WriteRun::cancel);
    connect(ui->mnuFileSaveImageAsISO, &QAction::triggered, run, &WriteRun::saveImage);
    connect(ui->mnuFileWriteDiscFromISO, &QAction::triggered, run, &WriteRun::writeImage);
    connect(ui->mnuCDRecorderImportPreviousSession, &QAction::triggered, run,
            &WriteRun::importSession);

    connect(ui->mnuFileExit, &QAction::triggered, this, &QDialog::close);
    connect(ui->mnuCDRecorderEject, &QAction::triggered, m_drives,
            [this] { m_drives->moveTray(false); });
    connect(ui->mnuCDRecorderCloseTray, &QAction::triggered, m_drives,
            [this] { m_drives->moveTray(true); });
    // Both dialogs work on this window's own writer; this window keeps handling the events it
    // shares with them.
    connect(ui->mnuCDRecorderDiscInformation, &QAction::triggered, this,
            [this] { frmDiscInfo(discWriter, m_dialogs, this).ShowDiscInfo(); });
    connect(ui->mnuCDRecorderEraseDisc, &QAction::triggered, this, [this] {
        frmErase erase(discWriter, m_dialogs, this);
        erase.setDriveName(ui->cboDevices->currentText());
        erase.ShowErase();
        m_views->refresh();
    });
    connect(ui->mnuAboutAbout, &QAction::triggered, this, [this] {
        frmabout box(this);
        box.exec();
    });

    Form_Load();
}

frmMaindvdwrite::~frmMaindvdwrite()
{
    if (m_waitCursor)
        QApplication::restoreOverrideCursor();
}

void frmMaindvdwrite::showModal(UserDialogs &dialogs, const QString &backupfiletocd,
                                const QString &backupcdpath, QWidget *parent)
{
    BurnDiscWriter writer;
    frmMaindvdwrite window(writer, dialogs, backupfiletocd, backupcdpath, parent);
    window.exec();
}

int frmMaindvdwrite::selectedDevice() const
{
    return m_drives->selectedDevice();
}

QString frmMaindvdwrite::statusPanel(int panel) const
{
    return m_context->panels[size_t(panel - 1)]->text();
}

void frmMaindvdwrite::Form_Load()
{
    Skin1.load(Skin::windowSkinPath());
    Skin1.apply(this);

    if (!discWriter.InitializeDrives(false))
        m_dialogs.message(QStringLiteral("Drives Cannot be initialized!"), applicationTitle(),
                          MessageIcon::None);
    m_drives->enumerate();

    discWriter.ClearImage();
    discWriter.setJolietNames(1);
    SetIdle(true);
    ui->txtVolIdentifier->setText(QStringLiteral("Windows Live Mail Backup"));

    if (!m_backupfiletocd.isEmpty() && !m_backupcdpath.isEmpty())
        m_views->addToRoot(m_backupfiletocd, m_backupcdpath);
}

void frmMaindvdwrite::SetIdle(bool idle)
{
    for (QWidget *control : std::initializer_list<QWidget *>{
             ui->cboDevices, ui->cboWriteSpeed, ui->tvwDirectories, ui->lvwImageFiles,
             ui->cmdWriteDisc, ui->chkCacheImage, ui->chkFinalizeDisc, ui->chkTestWrite,
             ui->chkUseJoliet, ui->txtVolIdentifier, ui->chkDVDHighCompMode, ui->chkUseMode2XA,
             ui->chkAutoVerify, ui->cmdAddFiles, ui->cmdAddFolder})
        control->setEnabled(idle);
    ui->mnuFile->menuAction()->setEnabled(idle);
    ui->mnuCDRecorder->menuAction()->setEnabled(idle);
    ui->chkUseBurnProof->setEnabled(idle &&
                                    discWriter.DriveSupports(DiscWriter::SupportsBufferProtection));
    ui->cmdCancel->setEnabled(!idle);
    // The Action menu follows the buttons, so that neither can start what the other may not.
    ui->mnuActionWriteDisc->setEnabled(idle);
    ui->mnuActionAddFiles->setEnabled(idle);
    ui->mnuActionAddFolder->setEnabled(idle);
    ui->mnuActionCancel->setEnabled(!idle);
    m_idle = idle;
    if (idle && m_waitCursor)
        QApplication::restoreOverrideCursor();
    else if (!idle && !m_waitCursor)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    m_waitCursor = !idle;
    QCoreApplication::processEvents();
}

void frmMaindvdwrite::done(int result)
{
    if (!m_idle)
        return;
    const int files = discWriter.FileCount();
    if ((files > 0 || discWriter.DirectoryCount() > 0) &&
        m_dialogs.message(QStringLiteral("Close the window? The compilation (%1 files) will be "
                                         "thrown away.")
                              .arg(files),
                          applicationTitle(), MessageIcon::Question,
                          MessageButtons::YesNoDefaultNo) != MessageAnswer::Yes)
        return;
    QDialog::done(result);
}

void frmMaindvdwrite::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    // Back at the window the user may have put a disc in.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_idle &&
        m_drives->selectedDevice() != -1)
        m_drives->refreshMedia();
}

void frmMaindvdwrite::closeEvent(QCloseEvent *event)
{
    if (m_idle)
        QDialog::closeEvent(event);
    else
        event->ignore();
}

bool frmMaindvdwrite::eventFilter(QObject *watched, QEvent *event)
{
    const bool onView =
        watched == ui->tvwDirectories->viewport() || watched == ui->lvwImageFiles->viewport();
    if (!onView)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDropEvent *>(event);
        if (drag->mimeData()->hasUrls())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        m_views->dropped(drop->mimeData());
        drop->acceptProposedAction();
        return true;
    }
    default:
        return QDialog::eventFilter(watched, event);
    }
}

} // namespace quillory
