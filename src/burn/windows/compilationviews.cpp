#include "burn/windows/compilationviews.h"

#include "ui_frmmaindvdwrite.h"

#include "burn/namerules.h"
#include "burn/windows/burnwindowcontext.h"
#include "platform/disc/discwriter.h"
#include "platform/userdialogs.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QStyle>

#include <utility>

namespace quillory {

namespace {

const QString noItemText = QStringLiteral("No Item Selected.");
constexpr int KeyRole = Qt::UserRole;

QString keyOf(const QTreeWidgetItem *item)
{
    return item->data(0, KeyRole).toString();
}

// The desktop theme's icon, or the style's own picture where the theme has none.
QIcon themeIcon(const char *name, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
}

} // namespace

CompilationViews::CompilationViews(const BurnWindowContext &context, QObject *parent)
    : QObject(parent), m_context(context)
{
    Ui::frmMaindvdwrite &ui = m_context.ui;
    for (QTreeWidget *view : {ui.tvwDirectories, ui.lvwImageFiles}) {
        // Files from a file manager land on the viewport, where the window takes them itself.
        view->viewport()->setAcceptDrops(true);
        connect(view, &QTreeWidget::customContextMenuRequested, this,
                [this, view](const QPoint &at) { showPopup(view, at); });
        connect(view, &QTreeWidget::itemChanged, this, &CompilationViews::afterLabelEdit);
        // An edit left with Escape changes nothing and ends the rename.
        connect(view->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
            if (QTreeWidgetItem *item = std::exchange(m_renaming, nullptr))
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        });
    }
    connect(ui.tvwDirectories, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *node) { listDirectory(keyOf(node)); });
    // Every column as wide as what it shows; the view scrolls rather than cut a name or size.
    ui.lvwImageFiles->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui.tvwDirectories->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    const auto key = [this](QKeySequence sequence, QTreeWidget *view,
                            void (CompilationViews::*slot)()) {
        auto *shortcut = new QShortcut(sequence, view, this, slot);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    };
    key(QKeySequence::Delete, ui.lvwImageFiles, &CompilationViews::removeFile);
    key(QKeySequence::Delete, ui.tvwDirectories, &CompilationViews::removeDirectory);
    key(Qt::Key_F2, ui.lvwImageFiles, &CompilationViews::renameFile);
    key(Qt::Key_F2, ui.tvwDirectories, &CompilationViews::renameDirectory);
    connect(ui.txtVolIdentifier, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (QTreeWidgetItem *root = rootNode())
            root->setText(0, text);
    });

    m_icons.insert(QStringLiteral("CD"), themeIcon("media-optical", QStyle::SP_DriveCDIcon));
    m_icons.insert(QStringLiteral("CLOSEDFOLDER"), themeIcon("folder", QStyle::SP_DirClosedIcon));
    m_icons.insert(QStringLiteral("OPENFOLDER"), themeIcon("folder-open", QStyle::SP_DirOpenIcon));
    m_icons.insert(QStringLiteral("FILE"), themeIcon("text-x-generic", QStyle::SP_FileIcon));

    DiscWriter *w = &m_context.writer;
    connect(w, &DiscWriter::DirectoryAdded, this,
            [this](const QString &parent, const QString &key, const QString &name, int, bool ok) {
                if (ok)
                    directoryAdded(parent, key, name);
                // A long folder import keeps the window painted.
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            });
    connect(w, &DiscWriter::DirectoryRemoved, this, [this](const QString &key, int, bool ok) {
        if (ok)
            directoryRemoved(key);
    });
    connect(w, &DiscWriter::DirectoryRenamed, this,
            [this](const QString &oldKey, const QString &newKey, bool ok) {
                if (ok)
                    directoryRenamed(oldKey, newKey);
            });
    connect(w, &DiscWriter::FileListed, this,
            [this](int, const QString &key, const QString &name, int, bool isDirectory,
                   const QDateTime &date,
                   qint64 size) { fileListed(key, name, isDirectory, date, size); });
    connect(w, &DiscWriter::ImageCleared, this, &CompilationViews::imageCleared);
    connect(w, &DiscWriter::ImportedFilesDropped, this, [this](int count) {
        m_context.info(
            QStringLiteral("%1 files imported from the previous session were taken out of the "
                           "compilation: the disc they are on is no longer the one in the drive, "
                           "so they could not be written. Import the session again to keep them.")
                .arg(count));
        refresh();
    });
    connect(w, &DiscWriter::ReplaceImportedFile, this,
            [this](const QString &imported, const QString &newFile, int, bool &replace) {
                replaceImportedFile(imported, newFile, replace);
            });
}

void CompilationViews::addToRoot(const QString &name, const QString &sourcePath)
{
    m_context.writer.AddFile(compilationRootKey + name, sourcePath);
    refresh();
}

void CompilationViews::dropped(const QMimeData *data)
{
    QStringList paths;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            paths.append(QDir::cleanPath(url.toLocalFile()));
    addSources(paths);
}

void CompilationViews::addFiles()
{
    addSources(
        m_context.dialogs.openFileNames(QStringLiteral("Add Files"), QDir::homePath(), QString()));
}

void CompilationViews::addFolder()
{
    if (const std::optional<QString> folder =
            m_context.dialogs.folderName(QStringLiteral("Add Folder"), QDir::homePath()))
        addSources({*folder});
}

void CompilationViews::addSources(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    DiscWriter &writer = m_context.writer;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QTreeWidgetItem *node = selectedNode();
    const QString target = !node || keyOf(node) == compilationRootKey ? QString() : keyOf(node);
    QStringList refused;
    QStringList notes;
    for (const QString &path : paths) {
        const QFileInfo source(path);
        const bool added = source.isDir()
                               ? writer.AddFolder(target + compilationRootKey + source.fileName(),
                                                  source.filePath() + QStringLiteral("/*.*"))
                               : writer.AddFile(target + compilationRootKey, source.filePath());
        // Without a reason the user declined to replace an imported file.
        if (!added && !writer.LastError().isEmpty())
            refused.append(writer.LastError());
        if (!writer.AddNotes().isEmpty())
            notes.append(writer.AddNotes());
    }
    QApplication::restoreOverrideCursor();
    refresh();
    if (!refused.isEmpty())
        m_context.error(refused.join(QLatin1Char('\n')));
    if (!notes.isEmpty())
        m_context.info(notes.join(QLatin1Char('\n')));
}

void CompilationViews::refresh()
{
    QTreeWidgetItem *node = selectedNode();
    if (!node)
        node = rootNode();
    if (node) {
        listDirectory(keyOf(node));
        node->setExpanded(true);
    }
    updateStatus();
}

void CompilationViews::listDirectory(const QString &key)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_context.ui.lvwImageFiles->clear();
    m_context.writer.ListDirectory(key);
    QApplication::restoreOverrideCursor();
}

void CompilationViews::updateStatus()
{
    const DiscWriter &writer = m_context.writer;
    // An image without files still has its volume descriptors, but no data to speak of.
    const bool empty = writer.FileCount() == 0 && writer.DirectoryCount() == 0;
    const double megabytes =
        empty ? 0 : DiscWriter::BlocksToBytes(m_context.writer.ImageBlocks(), 1) / 1048576.0;
    m_context.setPanel(1, QStringLiteral("Data Image Size: ") +
                              QLocale().toString(megabytes, 'f', 2) + QStringLiteral(" MB  "));
    m_context.setPanel(2, QStringLiteral("Files: ") + QString::number(writer.FileCount()));
    m_context.setPanel(3,
                       QStringLiteral("Directories: ") + QString::number(writer.DirectoryCount()));
}

void CompilationViews::showPopup(QTreeWidget *view, const QPoint &at)
{
    Ui::frmMaindvdwrite &ui = m_context.ui;
    QMenu popup;
    popup.addAction(ui.mnuActionAddFiles);
    popup.addAction(ui.mnuActionAddFolder);
    popup.addSeparator();
    popup.addAction(ui.mnuFileClear);
    popup.addSeparator();
    if (view == ui.tvwDirectories) {
        popup.addAction(ui.mnuFileRemoveDir);
        popup.addAction(ui.mnuFileRenameDir);
    } else {
        popup.addAction(ui.mnuFileRemoveFile);
        popup.addAction(ui.mnuFileRenameFile);
    }
    popup.exec(view->viewport()->mapToGlobal(at));
}

void CompilationViews::clear()
{
    m_context.writer.ClearImage();
}

void CompilationViews::removeDirectory()
{
    const QTreeWidgetItem *node = selectedNode();
    if (!node) {
        m_context.info(noItemText);
        return;
    }
    if (!m_context.writer.RemoveItem(keyOf(node)))
        m_context.info(QStringLiteral("Item could not be removed."));
    refresh();
}

void CompilationViews::removeFile()
{
    const QList<QTreeWidgetItem *> selected = m_context.ui.lvwImageFiles->selectedItems();
    if (selected.isEmpty()) {
        m_context.info(noItemText);
        return;
    }
    if (!m_context.writer.RemoveItem(keyOf(selected.first())))
        m_context.info(QStringLiteral("Item could not be removed."));
    refresh();
}

void CompilationViews::renameDirectory()
{
    QTreeWidgetItem *node = selectedNode();
    if (!node) {
        m_context.info(noItemText);
        return;
    }
    if (keyOf(node) == compilationRootKey) {
        m_context.info(QStringLiteral("Root directory can not be renamed."));
        return;
    }
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    m_renaming = node;
    m_context.ui.tvwDirectories->editItem(node, 0);
}

void CompilationViews::renameFile()
{
    const QList<QTreeWidgetItem *> selected = m_context.ui.lvwImageFiles->selectedItems();
    if (selected.isEmpty()) {
        m_context.info(noItemText);
        return;
    }
    QTreeWidgetItem *item = selected.first();
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    m_renaming = item;
    m_context.ui.lvwImageFiles->editItem(item, 0);
}

void CompilationViews::afterLabelEdit(QTreeWidgetItem *item)
{
    if (item != m_renaming)
        return;
    m_renaming = nullptr;
    const bool directory = item->treeWidget() == m_context.ui.tvwDirectories;
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
            DiscWriter &writer = m_context.writer;
            if (const auto violation =
                    nameRuleViolation(newName, writer.JolietNames(), writer.IsoLevel())) {
                m_context.info(*violation);
                return;
            }
            if (directory) {
                if (!writer.RenameDirectory(key, newName))
                    m_context.info(QStringLiteral("Directory could not be renamed."));
            } else if (!writer.RenameFile(key, newName)) {
                m_context.info(QStringLiteral("File could not be renamed."));
            }
            refresh();
        },
        Qt::QueuedConnection);
}

QTreeWidgetItem *CompilationViews::rootNode() const
{
    return m_context.ui.tvwDirectories->topLevelItem(0);
}

QTreeWidgetItem *CompilationViews::selectedNode() const
{
    const QList<QTreeWidgetItem *> selected = m_context.ui.tvwDirectories->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QTreeWidgetItem *CompilationViews::nodeByKey(const QString &key) const
{
    for (QTreeWidgetItemIterator it(m_context.ui.tvwDirectories); *it; ++it)
        if (keyOf(*it) == key)
            return *it;
    return nullptr;
}

void CompilationViews::directoryAdded(const QString &parentKey, const QString &key,
                                      const QString &name)
{
    QTreeWidgetItem *parent = nodeByKey(parentKey);
    if (!parent)
        return;
    auto *node = new QTreeWidgetItem(parent, {name});
    node->setData(0, KeyRole, key);
    QIcon icon = m_icons.value(QStringLiteral("CLOSEDFOLDER"));
    icon.addPixmap(m_icons.value(QStringLiteral("OPENFOLDER")).pixmap(16), QIcon::Selected);
    node->setIcon(0, icon);
    m_context.setPanel(1, QStringLiteral("Adding....") + key);
}

void CompilationViews::directoryRemoved(const QString &key)
{
    delete nodeByKey(key);
}

void CompilationViews::directoryRenamed(const QString &oldKey, const QString &newKey)
{
    QTreeWidgetItem *node = nodeByKey(oldKey);
    if (!node)
        return;
    node->setText(0, newKey.mid(newKey.lastIndexOf(QLatin1Char('\\')) + 1));
    // The directories below carry the old path in their keys too.
    for (QTreeWidgetItemIterator it(node);
         *it && (*it == node || keyOf(*it).startsWith(oldKey + compilationRootKey)); ++it)
        (*it)->setData(0, KeyRole, newKey + keyOf(*it).mid(oldKey.size()));
}

void CompilationViews::fileListed(const QString &key, const QString &name, bool isDirectory,
                                  const QDateTime &date, qint64 size)
{
    if (isDirectory)
        return;
    const QLocale locale;
    auto *item = new QTreeWidgetItem(
        m_context.ui.lvwImageFiles,
        {name, locale.toString(size / 1000.0, 'f', 2) + QStringLiteral(" KB"),
         QLocale::c().toString(date, QStringLiteral("MM/dd/yyyy hh:mm:ss AP"))});
    item->setData(0, KeyRole, key);
    item->setIcon(0, m_icons.value(QStringLiteral("FILE")));
}

void CompilationViews::imageCleared()
{
    Ui::frmMaindvdwrite &ui = m_context.ui;
    DiscWriter &writer = m_context.writer;
    ui.lvwImageFiles->clear();
    ui.tvwDirectories->clear();
    writer.setVolumeLabel(QStringLiteral("New Disc"));
    auto *root = new QTreeWidgetItem(ui.tvwDirectories, {writer.VolumeLabel()});
    root->setData(0, KeyRole, compilationRootKey);
    root->setIcon(0, m_icons.value(QStringLiteral("CD")));
    ui.txtVolIdentifier->setText(writer.VolumeLabel());
    updateStatus();
}

void CompilationViews::replaceImportedFile(const QString &importedFile, const QString &newFile,
                                           bool &replace)
{
    replace = m_context.dialogs.message(
                  QStringLiteral("Imported file from the last session on this disc: \n") +
                      importedFile + QStringLiteral("\nWould you like to replace it with: \n") +
                      newFile + QStringLiteral(" ?"),
                  QStringLiteral("Replace imported file..."), MessageIcon::Question,
                  MessageButtons::OkCancel) == MessageAnswer::Ok;
}

} // namespace quillory
