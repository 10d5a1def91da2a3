#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QString>

class QDateTime;
class QMimeData;
class QPoint;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillory {

struct BurnWindowContext;

// The burning window's compilation views: the directory tree beside the files of one directory,
// with adding, removing and renaming. The views only mirror what the disc writer reports through
// its events; the status bar tells the image's size and counts.
class CompilationViews : public QObject {
    Q_OBJECT

public:
    CompilationViews(const BurnWindowContext &context, QObject *parent);

    // Adds the file `sourcePath` to the compilation's root as `name`.
    void addToRoot(const QString &name, const QString &sourcePath);
    void addFiles();
    void addFolder();
    void dropped(const QMimeData *data);
    // Lists the selected directory, or the root, again.
    void refresh();
    void updateStatus();
    void clear();
    void removeDirectory();
    void removeFile();
    void renameDirectory();
    void renameFile();
    QTreeWidgetItem *rootNode() const;

private:
    // Adds files and folders under their own names to the selected directory; tells what was
    // refused or left out.
    void addSources(const QStringList &paths);
    void listDirectory(const QString &key);
    void showPopup(QTreeWidget *view, const QPoint &at);
    void afterLabelEdit(QTreeWidgetItem *item);
    QTreeWidgetItem *selectedNode() const;
    QTreeWidgetItem *nodeByKey(const QString &key) const;

    // The disc writer's events.
    void directoryAdded(const QString &parentKey, const QString &key, const QString &name);
    void directoryRemoved(const QString &key);
    void directoryRenamed(const QString &oldKey, const QString &newKey);
    void fileListed(const QString &key, const QString &name, bool isDirectory,
                    const QDateTime &date, qint64 size);
    void imageCleared();
    void replaceImportedFile(const QString &importedFile, const QString &newFile, bool &replace);

    const BurnWindowContext &m_context;
    QHash<QString, QIcon> m_icons;
    // The item whose label is being edited by a rename, if any.
    QTreeWidgetItem *m_renaming = nullptr;
};

} // namespace quillory
