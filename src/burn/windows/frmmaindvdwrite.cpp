#include "burn/windows/frmmaindvdwrite.h"

#include "ui_frmmaindvdwrite.h"

#include "burn/errortexts.h"
#include "burn/namerules.h"
#include "burn/windows/frmdiscinfo.h"
#include "burn/windows/frmerase.h"
#include "burn/writespeeds.h"
#include "help/windows/frmabout.h"
#include "platform/disc/burndiscwriter.h"
#include "platform/userdialogs.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QStyle>

#include <cmath>
#include <utility>

namespace quillory {

namespace {

const QString rootKey = QStringLiteral("\\");
const QString isoFilter = QStringLiteral("ISO file (*.iso)");
const QString noDriveText = QStringLiteral("A drive is not selected or does not exist.");
const QString noItemText = QStringLiteral("No Item Selected.");
constexpr int KeyRole = Qt::UserRole;
// Room left for the window manager's title bar and borders, which are unknown before the window
// is shown.
constexpr QSize frameAllowance(16, 48);

QString keyOf(const QTreeWidgetItem *item)
{
    return item->data(0, KeyRole).toString();
}

bool isCd(int mediaType)
{
    return mediaType == DiscWriter::MediaCdRw || mediaType == DiscWriter::MediaCdR;
}

QString twoDigits(int number)
{
    return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

// The desktop theme's icon, or the style's own picture where the theme has none.
QIcon themeIcon(const char *name, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
}

} // namespace

frmMaindvdwrite::frmMaindvdwrite(DiscWriter &writer, UserDialogs &dialogs,
                                 const QString &backupfiletocd, const QString &backupcdpath,
                                 QWidget *parent)
    : QDialog(parent), DVDWriterPro1(writer), m_dialogs(dialogs),
      ui(std::make_unique<Ui::frmMaindvdwrite>()), m_backupfiletocd(backupfiletocd),
      m_backupcdpath(backupcdpath)
{
    ui->setupUi(this);
    // The form's size suits a large screen; on a small one (a netbook's 1024x600) the window
    // starts within it, so that the buttons and the status bar stay in sight.
    resize(size()
               .boundedTo(screen()->availableGeometry().size() - frameAllowance)
               .expandedTo(minimumSizeHint()));
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(ui->sbrStatus);
        m_panels[i]->setObjectName(QStringLiteral("sbrStatusPanel%1").arg(i + 1));
        ui->sbrStatus->addWidget(m_panels[i], i == 0 ? 2 : 1);
    }
    for (QTreeWidget *view : {ui->tvwDirectories, ui->lvwImageFiles}) {
        // Files from a file manager land on the viewport, where the window takes them itself.
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
        connect(view, &QTreeWidget::customContextMenuRequested, this,
                [this, view](const QPoint &at) { showPopup(view, at); });
        connect(view, &QTreeWidget::itemChanged, this, &frmMaindvdwrite::AfterLabelEdit);
        // An edit left with Escape changes nothing and ends the rename.
        connect(view->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
            if (QTreeWidgetItem *item = std::exchange(m_renaming, nullptr))
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        });
    }
    connect(ui->tvwDirectories, &QTreeWidget::itemClicked, this,
            &frmMaindvdwrite::tvwDirectories_NodeClick);
    // Every column as wide as what it shows; the view scrolls rather than cut a name or size.
    ui->lvwImageFiles->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tvwDirectories->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    const auto key = [this](QKeySequence sequence, QTreeWidget *view,
                            void (frmMaindvdwrite::*slot)()) {
        auto *shortcut = new QShortcut(sequence, view, this, slot);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    };
    key(QKeySequence::Delete, ui->lvwImageFiles, &frmMaindvdwrite::mnuFileRemoveFile_Click);
    key(QKeySequence::Delete, ui->tvwDirectories, &frmMaindvdwrite::mnuFileRemoveDir_Click);
    key(Qt::Key_F2, ui->lvwImageFiles, &frmMaindvdwrite::mnuFileRenameFile_Click);
    key(Qt::Key_F2, ui->tvwDirectories, &frmMaindvdwrite::mnuFileRenameDir_Click);
    connect(ui->mnuActionAddFiles, &QAction::triggered, this,
            &frmMaindvdwrite::mnuActionAddFiles_Click);
    connect(ui->mnuActionAddFolder, &QAction::triggered, this,
            &frmMaindvdwrite::mnuActionAddFolder_Click);
    connect(ui->cmdAddFiles, &QPushButton::clicked, this,
            &frmMaindvdwrite::mnuActionAddFiles_Click);
    connect(ui->cmdAddFolder, &QPushButton::clicked, this,
            &frmMaindvdwrite::mnuActionAddFolder_Click);
    connect(ui->txtVolIdentifier, &QLineEdit::textChanged, this,
            &frmMaindvdwrite::txtVolIdentifier_Change);
    // Choosing the drive shown already reads its medium again too.
    connect(ui->cboDevices, &QComboBox::activated, this, &frmMaindvdwrite::cboDevices_Click);
    connect(ui->cboWriteSpeed, &QComboBox::currentIndexChanged, this,
            &frmMaindvdwrite::cboWriteSpeed_Click);
    connect(ui->chkUseJoliet, &QCheckBox::toggled, this, &frmMaindvdwrite::chkUseJoliet_Click);
    connect(ui->chkCacheImage, &QCheckBox::clicked, this, &frmMaindvdwrite::chkCacheImage_Click);
    connect(ui->cmdWriteDisc, &QPushButton::clicked, this, &frmMaindvdwrite::cmdWriteDisc_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmMaindvdwrite::cmdCancel_Click);
    connect(ui->mnuActionWriteDisc, &QAction::triggered, this,
            &frmMaindvdwrite::cmdWriteDisc_Click);
    connect(ui->mnuActionCancel, &QAction::triggered, this, &frmMaindvdwrite::cmdCancel_Click);
    connect(ui->mnuFileClear, &QAction::triggered, this, &frmMaindvdwrite::mnuFileClear_Click);
    connect(ui->mnuFileRemoveDir, &QAction::triggered, this,
            &frmMaindvdwrite::mnuFileRemoveDir_Click);
    connect(ui->mnuFileRemoveFile, &QAction::triggered, this,
            &frmMaindvdwrite::mnuFileRemoveFile_Click);
    connect(ui->mnuFileRenameDir, &QAction::triggered, this,
            &frmMaindvdwrite::mnuFileRenameDir_Click);
    connect(ui->mnuFileRenameFile, &QAction::triggered, this,
            &frmMaindvdwrite::mnuFileRenameFile_Click);
    connect(ui->mnuFileSaveImageAsISO, &QAction::triggered, this,
            &frmMaindvdwrite::mnuFileSaveImageAsISO_Click);
    connect(ui->mnuFileWriteDiscFromISO, &QAction::triggered, this,
            &frmMaindvdwrite::mnuFileWriteDiscFromISO_Click);
    connect(ui->mnuFileExit, &QAction::triggered, this, &QDialog::close);
    connect(ui->mnuCDRecorderEject, &QAction::triggered, this, [this] {
        DVDWriterPro1.MoveTray(false);
        refreshMedia();
    });
    connect(ui->mnuCDRecorderCloseTray, &QAction::triggered, this, [this] {
        DVDWriterPro1.MoveTray(true);
        refreshMedia();
    });
    connect(ui->mnuCDRecorderImportPreviousSession, &QAction::triggered, this,
            &frmMaindvdwrite::mnuCDRecorderImportPreviousSession_Click);
    // Both dialogs work on this window's own writer; this window keeps handling the events it
    // shares with them.
    connect(ui->mnuCDRecorderDiscInformation, &QAction::triggered, this,
            [this] { frmDiscInfo(DVDWriterPro1, m_dialogs, this).ShowDiscInfo(); });
    connect(ui->mnuCDRecorderEraseDisc, &QAction::triggered, this, [this] {
        frmErase erase(DVDWriterPro1, m_dialogs, this);
        erase.setDriveName(ui->cboDevices->currentText());
        erase.ShowErase();
        RefreshView();
    });
    connect(ui->mnuAboutAbout, &QAction::triggered, this, &frmMaindvdwrite::mnuAboutAbout_Click);
    connectWriter();

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

QString frmMaindvdwrite::statusPanel(int panel) const
{
    return m_panels[panel - 1]->text();
}

void frmMaindvdwrite::connectWriter()
{
    DiscWriter *w = &DVDWriterPro1;
    connect(w, &DiscWriter::DirectoryAdded, this,
            [this](const QString &parent, const QString &key, const QString &name, int, bool ok) {
                if (ok)
                    DirectoryAdded(parent, key, name);
                // A long folder import keeps the window painted.
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            });
    connect(w, &DiscWriter::DirectoryRemoved, this, [this](const QString &key, int, bool ok) {
        if (ok)
            DirectoryRemoved(key);
    });
    connect(w, &DiscWriter::DirectoryRenamed, this,
            [this](const QString &oldKey, const QString &newKey, bool ok) {
                if (ok)
                    DirectoryRenamed(oldKey, newKey);
            });
    connect(w, &DiscWriter::FileListed, this,
            [this](int, const QString &key, const QString &name, int, bool isDirectory,
                   const QDateTime &date,
                   qint64 size) { FileListed(key, name, isDirectory, date, size); });
    connect(w, &DiscWriter::ImageCleared, this, &frmMaindvdwrite::ImageCleared);
    connect(w, &DiscWriter::ImportedFilesDropped, this, [this](int count) {
        info(QStringLiteral("%1 files imported from the previous session were taken out of the "
                            "compilation: the disc they are on is no longer the one in the drive, "
                            "so they could not be written. Import the session again to keep them.")
                 .arg(count));
        RefreshView();
    });
    connect(w, &DiscWriter::ReplaceImportedFile, this,
            [this](const QString &imported, const QString &newFile, int, bool &replace) {
                ReplaceImportedFile(imported, newFile, replace);
            });

    // The disc dialogs borrow the writer; what their operations report is not this window's.
    const auto ours = [this](auto handler) {
        return [this, handler](auto &&...arguments) {
            if (m_operating)
                handler(arguments...);
        };
    };
    connect(w, &DiscWriter::WritePreparing, this, ours([this] {
                setPanel(1, QStringLiteral("Preparing to Write...."));
                ui->prgTotalProgress->setValue(0);
                m_writeClock.start();
                SetIdle(false);
            }));
    connect(w, &DiscWriter::CreatingDirectories, this,
            ours([this] { setPanel(1, QStringLiteral("Creating Directories....")); }));
    connect(w, &DiscWriter::TrackReading, this,
            ours([this](const QString &text, int number, int track) {
                setPanel(1, QStringLiteral("Track: ") + twoDigits(track) +
                                QStringLiteral(" - Reading...") + QString::number(number) +
                                QStringLiteral(" - ") + text);
            }));
    connect(w, &DiscWriter::CachingProgress, this, ours([this](int percent) {
                setPanel(2,
                         QStringLiteral("Caching - ") + twoDigits(percent) + QStringLiteral(" %"));
            }));
    connect(w, &DiscWriter::WriteProgress, this,
            ours([this](int, qint64 done, qint64 total) { showWriteProgress(done, total); }));
    connect(w, &DiscWriter::FileError, this, ours([this](int code, const QString &fileName) {
                setPanel(1, QStringLiteral("ERROR:") + FileErrorText(code, fileName));
            }));
    connect(w, &DiscWriter::ClosingTrack, this,
            ours([this] { setPanel(1, QStringLiteral("Closing Track....")); }));
    connect(w, &DiscWriter::ClosingSession, this,
            ours([this] { setPanel(1, QStringLiteral("Closing Session....")); }));
    connect(w, &DiscWriter::ClosingDisc, this,
            ours([this] { setPanel(1, QStringLiteral("Closing Disc....")); }));
    connect(w, &DiscWriter::WriteCancelled, this, ours([this] { WriteCancelled(); }));
    connect(w, &DiscWriter::WriteError, this,
            ours([this](int category, int driveCode, const QString &description,
                        const QString &senseData) {
                WriteError(category, driveCode, description, senseData);
            }));
    connect(w, &DiscWriter::WriteCompleted, this, ours([this] { WriteCompleted(); }));
    connect(w, &DiscWriter::VerifyStarted, this, ours([this](int fileCount) {
                setPanel(1, QStringLiteral("Auto-Verify... ") + QString::number(fileCount) +
                                QStringLiteral(" new files."));
            }));
    connect(w, &DiscWriter::VerifyProgress, this,
            ours([this](const QString &discFile, const QString &sourceFile, int, int, int status,
                        qint64 done, qint64 total) {
                VerifyProgress(discFile, sourceFile, status, done, total);
            }));
    connect(w, &DiscWriter::VerifyCompleted, this,
            ours([this](int compared, int matched) { VerifyCompleted(compared, matched); }));
}

void frmMaindvdwrite::Form_Load()
{
    Skin1.load(Skin::windowSkinPath());
    Skin1.apply(this);

    if (!DVDWriterPro1.InitializeDrives(false))
        m_dialogs.message(QStringLiteral("Drives Cannot be initialized!"), applicationTitle(),
                          MessageIcon::None);
    EnumerateDrives();

    ImageList1.insert(QStringLiteral("CD"), themeIcon("media-optical", QStyle::SP_DriveCDIcon));
    ImageList1.insert(QStringLiteral("CLOSEDFOLDER"),
                      themeIcon("folder", QStyle::SP_DirClosedIcon));
    ImageList1.insert(QStringLiteral("OPENFOLDER"),
                      themeIcon("folder-open", QStyle::SP_DirOpenIcon));
    ImageList1.insert(QStringLiteral("FILE"), themeIcon("text-x-generic", QStyle::SP_FileIcon));

    DVDWriterPro1.ClearImage();
    DVDWriterPro1.setJolietNames(1);
    SetIdle(true);
    ui->txtVolIdentifier->setText(QStringLiteral("Outlook Express Data Backup CD"));

    if (!m_backupfiletocd.isEmpty() && !m_backupcdpath.isEmpty()) {
        DVDWriterPro1.AddFile(rootKey + m_backupfiletocd, m_backupcdpath);
        RefreshView();
    }
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
    ui->chkUseBurnProof->setEnabled(
        idle && DVDWriterPro1.DriveSupports(DiscWriter::SupportsBufferProtection));
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
    const int files = DVDWriterPro1.FileCount();
    if ((files > 0 || DVDWriterPro1.DirectoryCount() > 0) &&
        m_dialogs.message(QStringLiteral("Close the window? The compilation (%1 files) will be "
                                         "thrown away.")
                              .arg(files),
                          applicationTitle(), MessageIcon::Question,
                          MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    QDialog::done(result);
}

void frmMaindvdwrite::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    // Back at the window the user may have put a disc in.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_idle &&
        m_selectedDevice != -1)
        refreshMedia();
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
        OLEDragDrop(drop->mimeData());
        drop->acceptProposedAction();
        return true;
    }
    default:
        return QDialog::eventFilter(watched, event);
    }
}

// The compilation views.

void frmMaindvdwrite::OLEDragDrop(const QMimeData *data)
{
    QStringList paths;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            paths.append(QDir::cleanPath(url.toLocalFile()));
    addSources(paths);
}

void frmMaindvdwrite::mnuActionAddFiles_Click()
{
    addSources(m_dialogs.openFileNames(QStringLiteral("Add Files"), QDir::homePath(), QString()));
}

void frmMaindvdwrite::mnuActionAddFolder_Click()
{
    if (const std::optional<QString> folder =
            m_dialogs.folderName(QStringLiteral("Add Folder"), QDir::homePath()))
        addSources({*folder});
}

void frmMaindvdwrite::addSources(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QTreeWidgetItem *node = selectedNode();
    const QString target = !node || keyOf(node) == rootKey ? QString() : keyOf(node);
    QStringList refused;
    QStringList notes;
    for (const QString &path : paths) {
        const QFileInfo source(path);
        const bool added = source.isDir()
                               ? DVDWriterPro1.AddFolder(target + rootKey + source.fileName(),
                                                         source.filePath() + QStringLiteral("/*.*"))
                               : DVDWriterPro1.AddFile(target + rootKey, source.filePath());
        // Without a reason the user declined to replace an imported file.
        if (!added && !DVDWriterPro1.LastError().isEmpty())
            refused.append(DVDWriterPro1.LastError());
        if (!DVDWriterPro1.AddNotes().isEmpty())
            notes.append(DVDWriterPro1.AddNotes());
    }
    QApplication::restoreOverrideCursor();
    RefreshView();
    if (!refused.isEmpty())
        error(refused.join(QLatin1Char('\n')));
    if (!notes.isEmpty())
        info(notes.join(QLatin1Char('\n')));
}

void frmMaindvdwrite::RefreshView()
{
    QTreeWidgetItem *node = selectedNode();
    if (!node)
        node = rootNode();
    if (node) {
        ListDirectory(keyOf(node));
        node->setExpanded(true);
    }
    UpdateStatus();
}

void frmMaindvdwrite::ListDirectory(const QString &key)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ui->lvwImageFiles->clear();
    DVDWriterPro1.ListDirectory(key);
    QApplication::restoreOverrideCursor();
}

void frmMaindvdwrite::UpdateStatus()
{
    // An image without files still has its volume descriptors, but no data to speak of.
    const bool empty = DVDWriterPro1.FileCount() == 0 && DVDWriterPro1.DirectoryCount() == 0;
    const double megabytes =
        empty ? 0 : DiscWriter::BlocksToBytes(DVDWriterPro1.ImageBlocks(), 1) / 1048576.0;
    setPanel(1, QStringLiteral("Data Image Size: ") + QLocale().toString(megabytes, 'f', 2) +
                    QStringLiteral(" MB  "));
    setPanel(2, QStringLiteral("Files: ") + QString::number(DVDWriterPro1.FileCount()));
    setPanel(3, QStringLiteral("Directories: ") + QString::number(DVDWriterPro1.DirectoryCount()));
}

void frmMaindvdwrite::setPanel(int panel, const QString &text)
{
    m_panels[panel - 1]->setText(text);
}

void frmMaindvdwrite::tvwDirectories_NodeClick(QTreeWidgetItem *node)
{
    ListDirectory(keyOf(node));
}

void frmMaindvdwrite::showPopup(QTreeWidget *view, const QPoint &at)
{
    QMenu popup;
    popup.addAction(ui->mnuActionAddFiles);
    popup.addAction(ui->mnuActionAddFolder);
    popup.addSeparator();
    popup.addAction(ui->mnuFileClear);
    popup.addSeparator();
    if (view == ui->tvwDirectories) {
        popup.addAction(ui->mnuFileRemoveDir);
        popup.addAction(ui->mnuFileRenameDir);
    } else {
        popup.addAction(ui->mnuFileRemoveFile);
        popup.addAction(ui->mnuFileRenameFile);
    }
    popup.exec(view->viewport()->mapToGlobal(at));
}

void frmMaindvdwrite::mnuFileClear_Click()
{
    DVDWriterPro1.ClearImage();
}

void frmMaindvdwrite::mnuFileRemoveDir_Click()
{
    const QTreeWidgetItem *node = selectedNode();
    if (!node) {
        info(noItemText);
        return;
    }
    if (!DVDWriterPro1.RemoveItem(keyOf(node)))
        info(QStringLiteral("Item could not be removed."));
    RefreshView();
}

void frmMaindvdwrite::mnuFileRemoveFile_Click()
{
    const QList<QTreeWidgetItem *> selected = ui->lvwImageFiles->selectedItems();
    if (selected.isEmpty()) {
        info(noItemText);
        return;
    }
    if (!DVDWriterPro1.RemoveItem(keyOf(selected.first())))
        info(QStringLiteral("Item could not be removed."));
    RefreshView();
}

void frmMaindvdwrite::mnuFileRenameDir_Click()
{
    QTreeWidgetItem *node = selectedNode();
    if (!node) {
        info(noItemText);
        return;
    }
    if (keyOf(node) == rootKey) {
        info(QStringLiteral("Root directory can not be renamed."));
        return;
    }
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    m_renaming = node;
    ui->tvwDirectories->editItem(node, 0);
}

void frmMaindvdwrite::mnuFileRenameFile_Click()
{
    const QList<QTreeWidgetItem *> selected = ui->lvwImageFiles->selectedItems();
    if (selected.isEmpty()) {
        info(noItemText);
        return;
    }
    QTreeWidgetItem *item = selected.first();
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    m_renaming = item;
    ui->lvwImageFiles->editItem(item, 0);
}

void frmMaindvdwrite::AfterLabelEdit(QTreeWidgetItem *item)
{
    if (item != m_renaming)
        return;
    m_renaming = nullptr;
    const bool directory = item->treeWidget() == ui->tvwDirectories;
    const QString key = keyOf(item);
    const QString newName = item->text(0);
    // The label shows the component's name until the component has taken the new one.
    {
        const QSignalBlocker blocker(item->treeWidget());
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        item->setText(0, key.mid(key.lastIndexOf(QLatin1Char('\\')) + 1));
    }
    // The edited item may be replaced by the refresh: finish once the editor has let go of it.
    QMetaObject::invokeMethod(
        this,
        [this, directory, key, newName] {
            if (const auto violation = nameRuleViolation(newName, DVDWriterPro1.JolietNames(),
                                                         DVDWriterPro1.IsoLevel())) {
                info(*violation);
                return;
            }
            if (directory) {
                if (!DVDWriterPro1.RenameDirectory(key, newName))
                    info(QStringLiteral("Directory could not be renamed."));
            } else if (!DVDWriterPro1.RenameFile(key, newName)) {
                info(QStringLiteral("File could not be renamed."));
            }
            RefreshView();
        },
        Qt::QueuedConnection);
}

void frmMaindvdwrite::txtVolIdentifier_Change(const QString &text)
{
    if (QTreeWidgetItem *root = rootNode())
        root->setText(0, text);
}

QTreeWidgetItem *frmMaindvdwrite::rootNode() const
{
    return ui->tvwDirectories->topLevelItem(0);
}

QTreeWidgetItem *frmMaindvdwrite::selectedNode() const
{
    const QList<QTreeWidgetItem *> selected = ui->tvwDirectories->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QTreeWidgetItem *frmMaindvdwrite::nodeByKey(const QString &key) const
{
    for (QTreeWidgetItemIterator it(ui->tvwDirectories); *it; ++it)
        if (keyOf(*it) == key)
            return *it;
    return nullptr;
}

void frmMaindvdwrite::DirectoryAdded(const QString &parentKey, const QString &key,
                                     const QString &name)
{
    QTreeWidgetItem *parent = nodeByKey(parentKey);
    if (!parent)
        return;
    auto *node = new QTreeWidgetItem(parent, {name});
    node->setData(0, KeyRole, key);
    QIcon icon = ImageList1.value(QStringLiteral("CLOSEDFOLDER"));
    icon.addPixmap(ImageList1.value(QStringLiteral("OPENFOLDER")).pixmap(16), QIcon::Selected);
    node->setIcon(0, icon);
    setPanel(1, QStringLiteral("Adding....") + key);
}

void frmMaindvdwrite::DirectoryRemoved(const QString &key)
{
    delete nodeByKey(key);
}

void frmMaindvdwrite::DirectoryRenamed(const QString &oldKey, const QString &newKey)
{
    QTreeWidgetItem *node = nodeByKey(oldKey);
    if (!node)
        return;
    node->setText(0, newKey.mid(newKey.lastIndexOf(QLatin1Char('\\')) + 1));
    // The directories below carry the old path in their keys too.
    for (QTreeWidgetItemIterator it(node);
         *it && (*it == node || keyOf(*it).startsWith(oldKey + rootKey)); ++it)
        (*it)->setData(0, KeyRole, newKey + keyOf(*it).mid(oldKey.size()));
}

void frmMaindvdwrite::FileListed(const QString &key, const QString &name, bool isDirectory,
                                 const QDateTime &date, qint64 size)
{
    if (isDirectory)
        return;
    const QLocale locale;
    auto *item = new QTreeWidgetItem(
        ui->lvwImageFiles, {name, locale.toString(size / 1000.0, 'f', 2) + QStringLiteral(" KB"),
                            QLocale::c().toString(date, QStringLiteral("MM/dd/yyyy hh:mm:ss AP"))});
    item->setData(0, KeyRole, key);
    item->setIcon(0, ImageList1.value(QStringLiteral("FILE")));
}

void frmMaindvdwrite::ImageCleared()
{
    ui->lvwImageFiles->clear();
    ui->tvwDirectories->clear();
    DVDWriterPro1.setVolumeLabel(QStringLiteral("New Disc"));
    auto *root = new QTreeWidgetItem(ui->tvwDirectories, {DVDWriterPro1.VolumeLabel()});
    root->setData(0, KeyRole, rootKey);
    root->setIcon(0, ImageList1.value(QStringLiteral("CD")));
    ui->txtVolIdentifier->setText(DVDWriterPro1.VolumeLabel());
    UpdateStatus();
}

// Drives and options.

void frmMaindvdwrite::EnumerateDrives()
{
    {
        const QSignalBlocker blocker(ui->cboDevices);
        ui->cboDevices->clear();
        m_selectedDevice = -1;
        for (int i = 0; i < DVDWriterPro1.DeviceCount(); ++i)
            if (DVDWriterPro1.DeviceIsWriter(i))
                ui->cboDevices->addItem(DVDWriterPro1.DeviceDrive(i) + QStringLiteral(": ") +
                                            DVDWriterPro1.DeviceVendor(i) + QLatin1Char(' ') +
                                            DVDWriterPro1.DeviceProduct(i),
                                        i);
    }
    if (ui->cboDevices->count() > 0) {
        ui->cboDevices->setCurrentIndex(0);
        cboDevices_Click();
    } else {
        info(QStringLiteral("There are no compatible CDR drives reported.\n"
                            "Some older CDR drives are not currently supported."));
    }
}

void frmMaindvdwrite::cboDevices_Click()
{
    const int index = ui->cboDevices->currentData().toInt();
    m_selectedDevice = DVDWriterPro1.SelectDevice(index) ? index : -1;
    FillSpeedList();
    const bool protection = DVDWriterPro1.DriveSupports(DiscWriter::SupportsBufferProtection);
    ui->chkUseBurnProof->setEnabled(protection);
    ui->chkUseBurnProof->setChecked(protection);
}

void frmMaindvdwrite::refreshMedia()
{
    const int before = DVDWriterPro1.MediaType();
    const int index = ui->cboDevices->currentData().toInt();
    m_selectedDevice = DVDWriterPro1.SelectDevice(index) ? index : -1;
    if (DVDWriterPro1.MediaType() != before)
        FillSpeedList();
}

void frmMaindvdwrite::FillSpeedList()
{
    {
        const QSignalBlocker blocker(ui->cboWriteSpeed);
        ui->cboWriteSpeed->clear();
        for (const WriteSpeed &speed :
             writeSpeeds(DVDWriterPro1.MediaType(), DVDWriterPro1.MaxWriteSpeed()))
            ui->cboWriteSpeed->addItem(speed.text, speed.kilobytesPerSecond);
    }
    if (ui->cboWriteSpeed->count() > 0) {
        ui->cboWriteSpeed->setCurrentIndex(0);
        cboWriteSpeed_Click();
    }
}

void frmMaindvdwrite::cboWriteSpeed_Click()
{
    if (ui->cboWriteSpeed->currentText() != QLatin1String("Default"))
        DVDWriterPro1.SetWriteSpeed(ui->cboWriteSpeed->currentData().toInt());
}

void frmMaindvdwrite::chkUseJoliet_Click()
{
    DVDWriterPro1.setJolietNames(ui->chkUseJoliet->isChecked() ? 1 : 0);
}

void frmMaindvdwrite::chkCacheImage_Click()
{
    if (ui->chkCacheImage->isChecked())
        info(QStringLiteral(
            "Caching an image for a DVD format is not recommended and is limited to 4.2GB!"));
}

// Writing, image files and sessions.

void frmMaindvdwrite::cmdWriteDisc_Click()
{
    if (m_selectedDevice == -1) {
        info(noDriveText);
        return;
    }
    const int media = DVDWriterPro1.MediaType();
    if (media == DiscWriter::MediaNone) {
        info(QStringLiteral("Please Insert Writable Media before continuing!"));
        return;
    }
    // A disc without a single file would be a wasted disc.
    if (DVDWriterPro1.FileCount() == 0) {
        info(QStringLiteral("There are no files to write: please add files or folders first."));
        return;
    }
    DVDWriterPro1.setAutoVerify(ui->chkAutoVerify->isChecked());
    DVDWriterPro1.setFinalizeDisc(ui->chkFinalizeDisc->isChecked());
    DVDWriterPro1.setFixedWriteOption(true);
    DVDWriterPro1.setJolietNames(ui->chkUseJoliet->isChecked() ? 1 : 0);
    DVDWriterPro1.setCacheImage(ui->chkCacheImage->isChecked());
    DVDWriterPro1.SetBufferProtection(ui->chkUseBurnProof->isChecked());
    setTrackOptions(isCd(media));
    DVDWriterPro1.setTestWrite(isCd(media) && ui->chkTestWrite->isChecked());

    // A session without the earlier ones' files hides them from every reader of the disc.
    if (DVDWriterPro1.DiscStatus() == DiscWriter::DiscOpen && DVDWriterPro1.SessionCount() > 0 &&
        DVDWriterPro1.ImportAllowed() && !DVDWriterPro1.HasImportedFiles()) {
        const MessageAnswer answer = m_dialogs.message(
            QStringLiteral("The disc already holds files from earlier sessions. A new session "
                           "without them hides them from every program that reads the disc.\n\n"
                           "Yes: import the previous session first and keep its files.\n"
                           "No: write anyway.\nCancel: do not write."),
            applicationTitle(), MessageIcon::Question, MessageButtons::YesNoCancel);
        if (answer == MessageAnswer::Cancel)
            return;
        if (answer == MessageAnswer::Yes && !DVDWriterPro1.ImportSession(true)) {
            error(QStringLiteral("Previous Session could not be imported."),
                  DVDWriterPro1.LastError());
            return;
        }
        if (answer == MessageAnswer::Yes) {
            // The disc keeps its label unless the user typed another.
            if (!ui->txtVolIdentifier->isModified())
                ui->txtVolIdentifier->setText(DVDWriterPro1.VolumeLabel());
            RefreshView();
        }
    }
    DVDWriterPro1.setVolumeLabel(ui->txtVolIdentifier->text());

    m_operating = true;
    m_cancelled = false;
    if (!DVDWriterPro1.StartWrite()) {
        m_operating = false;
        error(QStringLiteral("Disc Write could not be started."), DVDWriterPro1.LastError());
    }
}

void frmMaindvdwrite::setTrackOptions(bool cd)
{
    DVDWriterPro1.setDvdHighCompatibility(!cd && ui->chkDVDHighCompMode->isChecked());
    DVDWriterPro1.setTrackMode(cd && ui->chkUseMode2XA->isChecked() ? 2 : 1);
}

void frmMaindvdwrite::cmdCancel_Click()
{
    setPanel(1, QStringLiteral("Aborting Write...Please Wait!"));
    DVDWriterPro1.AbortWrite();
}

void frmMaindvdwrite::showProgress(qint64 done, qint64 total)
{
    ui->prgTotalProgress->setValue(total == 0 ? 0 : int(std::lround(done * 100.0 / total)));
}

void frmMaindvdwrite::showWriteProgress(qint64 done, qint64 total)
{
    showProgress(done, total);
    const double seconds = m_writeClock.isValid() ? m_writeClock.elapsed() / 1000.0 : 0;
    const double bytes = double(DiscWriter::BlocksToBytes(done, 1));
    QString text = QStringLiteral("Writing... %1 of %2")
                       .arg(FormatMegabytes(bytes),
                            FormatMegabytes(double(DiscWriter::BlocksToBytes(total, 1))));
    if (seconds > 0.5 && done > 0) {
        const double speed = bytes / seconds;
        const qint64 left =
            std::llround(double(DiscWriter::BlocksToBytes(total - done, 1)) / speed);
        text += QStringLiteral(", %1/s, %2:%3 left")
                    .arg(FormatMegabytes(speed))
                    .arg(left / 60)
                    .arg(twoDigits(int(left % 60)));
    }
    setPanel(1, text);
}

void frmMaindvdwrite::info(const QString &text)
{
    m_dialogs.message(text, applicationTitle(), MessageIcon::Information);
}

void frmMaindvdwrite::error(const QString &text, const QString &details)
{
    m_dialogs.message(text, applicationTitle(), MessageIcon::Error, MessageButtons::Ok, details);
}

void frmMaindvdwrite::WriteCancelled()
{
    m_operating = false;
    m_cancelled = true;
    setPanel(1, QStringLiteral("Writing Cancelled......"));
    SetIdle(true);
    info(QStringLiteral("Writing Cancelled!"));
}

void frmMaindvdwrite::WriteError(int category, int driveCode, const QString &description,
                                 const QString &senseData)
{
    m_operating = false;
    QString text = QStringLiteral("Writing Error: (") + QString::number(category) +
                   QStringLiteral(")   ") + description + QLatin1Char('\n');
    if (category == DiscWriter::ErrorDrive)
        text += DriveErrorText(driveCode) + QStringLiteral("\n Error Sense Data: ") + senseData;
    error(text);
    SetIdle(true);
}

void frmMaindvdwrite::WriteCompleted()
{
    const bool verify = DVDWriterPro1.AutoVerify();
    // The verification that follows still belongs to this write.
    m_operating = verify;
    ui->prgTotalProgress->setValue(100);
    setPanel(1, QStringLiteral("Writing Complete!"));
    SetIdle(true);
    if (!verify)
        info(QStringLiteral("Writing is complete!"));
    if (!verify && !DVDWriterPro1.TestWrite())
        DVDWriterPro1.MoveTray(false);
}

void frmMaindvdwrite::VerifyProgress(const QString &discFile, const QString &sourceFile, int status,
                                     qint64 done, qint64 total)
{
    QString problem;
    switch (status) {
    case DiscWriter::VerifySourceUnreadable:
        problem = QStringLiteral("Verify Error - Could not read Source file from disc: ");
        break;
    case DiscWriter::VerifyDiscUnreadable:
        problem = QStringLiteral("Verify Error - Could not read Destination file from disc: ");
        break;
    case DiscWriter::VerifyContentDiffers:
        problem = QStringLiteral("Verify Error - Source and Destination file did not match: ");
        break;
    case DiscWriter::VerifySizeDiffers:
        problem =
            QStringLiteral("Verify Error - Size of Source and Destination file did not match: ");
        break;
    default:
        break;
    }
    if (!problem.isEmpty())
        m_dialogs.message(problem + QLatin1Char('\n') + discFile + QStringLiteral(" (disc)\n") +
                              sourceFile + QStringLiteral(" (source)"),
                          applicationTitle(), MessageIcon::None);
    setPanel(1, QStringLiteral("Auto-Verify... ") + discFile);
    showProgress(done, total);
    QCoreApplication::processEvents();
}

void frmMaindvdwrite::VerifyCompleted(int compared, int matched)
{
    m_operating = false;
    setPanel(1, QStringLiteral("Auto-Verify...Complete (") + QString::number(matched) +
                    QStringLiteral(" of ") + QString::number(compared) +
                    QStringLiteral(" MATCHED)"));
    DVDWriterPro1.MoveTray(false);
    info(QStringLiteral("Writing and Verify is complete!"));
}

void frmMaindvdwrite::mnuFileSaveImageAsISO_Click()
{
    const std::optional<QString> path = m_dialogs.saveFileName(
        QStringLiteral("Save as ISO File"), QString(), QStringLiteral("Tenmoor.iso"), isoFilter);
    if (!path) {
        SetIdle(true);
        return;
    }
    SetIdle(false);
    DVDWriterPro1.setAutoVerify(false);
    DVDWriterPro1.setJolietNames(ui->chkUseJoliet->isChecked() ? 1 : 0);
    DVDWriterPro1.setVolumeLabel(ui->txtVolIdentifier->text());
    setTrackOptions(isCd(DVDWriterPro1.MediaType()));
    m_operating = true;
    m_cancelled = false;
    m_writeClock.start();
    const bool saved = DVDWriterPro1.SaveImageToFile(*path);
    m_operating = false;
    SetIdle(true);
    if (saved) {
        ui->prgTotalProgress->setValue(100);
        info(QStringLiteral("ISO File Created successfully!"));
    } else if (!m_cancelled) {
        // A cancel has said so already.
        error(QStringLiteral("Error creating ISO File."), DVDWriterPro1.LastError());
    }
    UpdateStatus();
}

void frmMaindvdwrite::mnuFileWriteDiscFromISO_Click()
{
    const std::optional<QString> path = m_dialogs.openFileName(
        QStringLiteral("Write ISO File"), QString(), QStringLiteral("Test.iso"), isoFilter);
    if (!path) {
        SetIdle(true);
        return;
    }
    if (DVDWriterPro1.DiscStatus() != DiscWriter::DiscEmpty &&
        m_dialogs.message(QStringLiteral("The disc in %1 holds data. Writing the image replaces "
                                         "everything on the disc. Write it?")
                              .arg(ui->cboDevices->currentText()),
                          applicationTitle(), MessageIcon::Warning,
                          MessageButtons::OkCancel) != MessageAnswer::Ok)
        return;
    SetIdle(false);
    DVDWriterPro1.setAutoVerify(false);
    DVDWriterPro1.setTrackMode(ui->chkUseMode2XA->isChecked() ? 2 : 1);
    DVDWriterPro1.setFinalizeDisc(ui->chkFinalizeDisc->isChecked());
    DVDWriterPro1.setFixedWriteOption(true);
    DVDWriterPro1.setTestWrite(ui->chkTestWrite->isChecked());
    DVDWriterPro1.SetBufferProtection(ui->chkUseBurnProof->isChecked());
    m_operating = true;
    m_cancelled = false;
    if (!DVDWriterPro1.WriteImageFile(*path)) {
        m_operating = false;
        SetIdle(true);
        error(QStringLiteral("Error Writing ISO File."), DVDWriterPro1.LastError());
    }
}

void frmMaindvdwrite::mnuCDRecorderImportPreviousSession_Click()
{
    if (m_selectedDevice == -1) {
        info(noDriveText);
        return;
    }
    if (DVDWriterPro1.MediaType() == DiscWriter::MediaNone) {
        info(QStringLiteral("Please Insert a disc before continuing!"));
        return;
    }
    setPanel(1, QStringLiteral("Importing Previous Session..."));
    if (!DVDWriterPro1.ImportSession(true)) {
        error(QStringLiteral("Previous Session could not be imported\n"
                             "Only ISO/Joliet tracks (Mode1) can be imported."),
              DVDWriterPro1.LastError());
        return;
    }
    ui->txtVolIdentifier->setText(DVDWriterPro1.VolumeLabel());
    if (QTreeWidgetItem *first = rootNode())
        first->setExpanded(true);
    RefreshView();
}

void frmMaindvdwrite::ReplaceImportedFile(const QString &importedFile, const QString &newFile,
                                          bool &replace)
{
    replace = m_dialogs.message(
                  QStringLiteral("Imported file from the last session on this disc: \n") +
                      importedFile + QStringLiteral("\nWould you like to replace it with: \n") +
                      newFile + QStringLiteral(" ?"),
                  QStringLiteral("Replace imported file..."), MessageIcon::Question,
                  MessageButtons::OkCancel) == MessageAnswer::Ok;
}

void frmMaindvdwrite::mnuAboutAbout_Click()
{
    frmabout box(this);
    box.exec();
}

} // namespace quillory
