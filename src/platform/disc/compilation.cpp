#include "platform/disc/compilation.h"

#include "platform/disc/burnheaders.h"
#include "platform/disc/isowriting.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

namespace quillory {

namespace {

const QLatin1Char keySeparator('\\');
const QString rootKey = QStringLiteral("\\");

QString childKey(const QString &parent, const QString &name)
{
    return (parent == rootKey ? QString() : parent) + keySeparator + name;
}

QString parentKey(const QString &key)
{
    const qsizetype cut = key.lastIndexOf(keySeparator);
    return cut <= 0 ? rootKey : key.left(cut);
}

QString keyOfPath(const QStringList &path)
{
    return path.isEmpty() ? rootKey : keySeparator + path.join(keySeparator);
}

QStringList pathOfKey(const QString &key)
{
    return key.split(keySeparator, Qt::SkipEmptyParts);
}

bool isImported(IsoNode *node)
{
    uint32_t lba = 0;
    return ISO_NODE_IS_FILE(node) &&
           iso_file_get_old_image_lba(reinterpret_cast<IsoFile *>(node), &lba, 0) == 1;
}

IsoNode *childNamed(IsoNode *directory, const QString &name)
{
    IsoNode *child = nullptr;
    if (iso_dir_get_node(reinterpret_cast<IsoDir *>(directory), name.toUtf8().constData(),
                         &child) != 1)
        return nullptr;
    return child;
}

template <typename Visit> void walk(IsoNode *directory, const QString &key, const Visit &visit)
{
    IsoDirIter *iterator = nullptr;
    if (iso_dir_get_children(reinterpret_cast<IsoDir *>(directory), &iterator) < 0)
        return;
    IsoNode *node = nullptr;
    while (iso_dir_iter_next(iterator, &node) == 1) {
        const QString key2 = childKey(key, QString::fromUtf8(iso_node_get_name(node)));
        visit(node, key2);
        if (ISO_NODE_IS_DIR(node))
            walk(node, key2, visit);
    }
    iso_dir_iter_free(iterator);
}

// A name a file or folder of the host may carry onto the disc: a backslash in it is part of the
// name.
bool placeableName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".") &&
           name != QLatin1String("..");
}

// A name given in the compilation itself, where a backslash separates the parts of a key.
bool usableName(const QString &name)
{
    return placeableName(name) && !name.contains(keySeparator);
}

// The place of a file added at `key`; a key ending in the separator is the directory that takes
// the file under its own name.
QStringList placedPath(const QString &key, const QFileInfo &source)
{
    QStringList path = pathOfKey(key);
    if (key.endsWith(keySeparator))
        path.append(source.fileName());
    return path;
}

bool readable(const QString &path, bool folder)
{
    return ::access(QFile::encodeName(path).constData(), folder ? R_OK | X_OK : R_OK) == 0;
}

// Joliet allows 64 characters in a name; images take up to 103, which the readers in use show.
constexpr qsizetype jolietNameLength = 103;

void noteLongName(const QStringList &path, AddReport &report)
{
    if (path.last().size() > jolietNameLength)
        report.shortenedForJoliet.append(keyOfPath(path));
}

} // namespace

QString AddReport::refusal() const
{
    QString text;
    if (!unreadable.isEmpty())
        text += QStringLiteral("These cannot be read, so nothing was added:\n  ") +
                unreadable.join(QStringLiteral("\n  "));
    if (!nameTaken.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) +
                QStringLiteral("The compilation already holds an item of the same name, so "
                               "nothing was added:\n  ") +
                nameTaken.join(QStringLiteral("\n  "));
    return text;
}

QString AddReport::notes() const
{
    QString text;
    if (!leftOut.isEmpty())
        text += QStringLiteral("Left out:\n  ") + leftOut.join(QStringLiteral("\n  "));
    if (!shortenedForJoliet.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) +
                QStringLiteral("Readers of Joliet names see these names cut to %1 characters, "
                               "the extension kept:\n  ")
                    .arg(jolietNameLength) +
                shortenedForJoliet.join(QStringLiteral("\n  "));
    return text;
}

Compilation::Compilation()
{
    clear();
}

Compilation::~Compilation()
{
    iso_image_unref(m_image);
}

void Compilation::clear()
{
    IsoImage *image = nullptr;
    // libisofs needs a volume identifier to generate an image; the writer sets the real one.
    iso_image_new("New Disc", &image);
    adopt(image);
}

void Compilation::adopt(IsoImage *image)
{
    if (m_image)
        iso_image_unref(m_image);
    m_image = image;
    // A link to a file stands for the file, as a user dropping it expects; pipes and devices
    // have no place on a disc.
    iso_tree_set_follow_symlinks(m_image, 1);
    iso_tree_set_ignore_special(m_image, 1);
    m_blocks.reset();
}

QList<Compilation::Planned> Compilation::addedItems() const
{
    QList<Planned> items;
    const std::function<void(IsoNode *, const QStringList &)> visit = [&](IsoNode *directory,
                                                                          const QStringList &path) {
        IsoDirIter *iterator = nullptr;
        if (iso_dir_get_children(reinterpret_cast<IsoDir *>(directory), &iterator) < 0)
            return;
        IsoNode *node = nullptr;
        while (iso_dir_iter_next(iterator, &node) == 1) {
            QStringList childPath = path;
            childPath.append(QString::fromUtf8(iso_node_get_name(node)));
            if (ISO_NODE_IS_DIR(node)) {
                items.append({childPath, QString(), true, qint64(iso_node_get_mtime(node))});
                visit(node, childPath);
            } else if (ISO_NODE_IS_FILE(node) && !isImported(node)) {
                char *source = iso_stream_get_source_path(
                    iso_file_get_stream(reinterpret_cast<IsoFile *>(node)), 0);
                if (source)
                    items.append({childPath, QFile::decodeName(source), false});
                std::free(source);
            }
        }
        iso_dir_iter_free(iterator);
    };
    visit(reinterpret_cast<IsoNode *>(iso_image_get_root(m_image)), {});
    return items;
}

bool Compilation::adoptKeeping(IsoImage *image, AddReport *report)
{
    const QList<Planned> added = addedItems();
    IsoImage *previous = std::exchange(m_image, nullptr);
    adopt(image);
    // What the disc holds already as it is (written from this compilation before) comes with
    // the import; only the rest is put back.
    QList<Planned> kept;
    for (const Planned &item : added) {
        IsoNode *onDisc = item.directory ? nullptr : nodeAt(item.path);
        struct stat source {};
        if (onDisc && isImported(onDisc) &&
            ::stat(QFile::encodeName(item.source).constData(), &source) == 0 &&
            qint64(iso_file_get_size(reinterpret_cast<IsoFile *>(onDisc))) == source.st_size &&
            iso_node_get_mtime(onDisc) == source.st_mtime)
            continue;
        kept.append(item);
    }
    if (addPlanned(
            kept, [](const QString &, const QString &, const QString &) {},
            [](const QString &, const QString &) { return true; }, report)) {
        iso_image_unref(previous);
        return true;
    }
    adopt(previous);
    return false;
}

QString Compilation::normalizedKey(const QString &key)
{
    QString result;
    for (const QString &part : key.split(keySeparator, Qt::SkipEmptyParts))
        result += keySeparator + part;
    return result.isEmpty() ? rootKey : result;
}

IsoNode *Compilation::nodeAt(const QString &key) const
{
    return nodeAt(pathOfKey(key));
}

IsoNode *Compilation::nodeAt(const QStringList &path) const
{
    IsoNode *node = reinterpret_cast<IsoNode *>(iso_image_get_root(m_image));
    for (const QString &part : path) {
        if (!ISO_NODE_IS_DIR(node))
            return nullptr;
        node = childNamed(node, part);
        if (!node)
            return nullptr;
    }
    return node;
}

IsoNode *Compilation::directoryAt(const QStringList &path, const DirectoryAdded &added)
{
    IsoNode *node = reinterpret_cast<IsoNode *>(iso_image_get_root(m_image));
    QString current = rootKey;
    for (const QString &part : path) {
        const QString next = childKey(current, part);
        IsoNode *child = childNamed(node, part);
        if (!child) {
            IsoDir *made = nullptr;
            if (!placeableName(part) ||
                iso_image_add_new_dir(m_image, reinterpret_cast<IsoDir *>(node),
                                      part.toUtf8().constData(), &made) < 0)
                return nullptr;
            child = reinterpret_cast<IsoNode *>(made);
            m_blocks.reset();
            added(current, next, part);
        } else if (!ISO_NODE_IS_DIR(child)) {
            return nullptr;
        }
        node = child;
        current = next;
    }
    return node;
}

bool Compilation::addFile(const QString &key, const QString &sourcePath,
                          const DirectoryAdded &added, const ReplaceImported &replace,
                          AddReport *report)
{
    const QFileInfo info(sourcePath);
    const QStringList path = placedPath(key, info);
    if (path.isEmpty() || !info.isFile() || !placeableName(path.last()))
        return false;
    AddReport local;
    AddReport &told = report ? *report : local;
    if (!readable(sourcePath, false)) {
        told.unreadable.append(sourcePath);
        return false;
    }
    noteLongName(path, told);
    return addPlanned({{path, sourcePath, false}}, added, replace, &told);
}

bool Compilation::addFolder(const QString &key, const QString &sourceFolder,
                            const DirectoryAdded &added, const ReplaceImported &replace,
                            AddReport *report)
{
    QString folder = sourceFolder;
    for (const QLatin1String pattern : {QLatin1String("\\*.*"), QLatin1String("/*.*")}) {
        if (folder.endsWith(pattern))
            folder.chop(pattern.size());
    }
    if (!QFileInfo(folder).isDir())
        return false;
    AddReport local;
    AddReport &told = report ? *report : local;
    const QStringList path = pathOfKey(key);
    QList<Planned> plan;
    if (!readable(folder, true)) {
        told.unreadable.append(folder);
        return false;
    }
    if (!path.isEmpty())
        plan.append({path, folder, true});
    planFolder(path, folder, plan, told);
    return !told.refused() && addPlanned(plan, added, replace, &told);
}

void Compilation::planFolder(const QStringList &path, const QString &folder, QList<Planned> &plan,
                             AddReport &report) const
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QString source = entry.filePath();
        QStringList childPath = path;
        childPath.append(entry.fileName());
        if (entry.isSymLink() && !entry.exists()) {
            report.leftOut.append(source + QStringLiteral(" (a link to nothing)"));
        } else if (entry.isDir()) {
            // A link to a folder could lead back into the tree; the folder itself is added
            // where it lies.
            if (entry.isSymLink()) {
                report.leftOut.append(source + QStringLiteral(" (a link to a folder)"));
            } else if (!readable(source, true)) {
                report.unreadable.append(source);
            } else {
                noteLongName(childPath, report);
                plan.append({childPath, source, true});
                planFolder(childPath, source, plan, report);
            }
        } else if (entry.isFile()) {
            if (!readable(source, false)) {
                report.unreadable.append(source);
            } else {
                noteLongName(childPath, report);
                plan.append({childPath, source, false});
            }
        } else {
            // Pipes, sockets and devices have no contents a disc could keep.
            report.leftOut.append(source + QStringLiteral(" (not a file or folder)"));
        }
    }
}

bool Compilation::addPlanned(const QList<Planned> &plan, const DirectoryAdded &added,
                             const ReplaceImported &replace, AddReport *report)
{
    // Below a folder the compilation does not hold yet nothing can be in the way; only the
    // others are looked up, which keeps large adds quick.
    QSet<QString> fresh;
    QList<bool> inFreshFolder;
    for (const Planned &item : plan) {
        const QString key = keyOfPath(item.path);
        const bool below = fresh.contains(keyOfPath(item.path.mid(0, item.path.size() - 1)));
        inFreshFolder.append(below);
        IsoNode *existing = below ? nullptr : nodeAt(item.path);
        if (!existing) {
            if (item.directory)
                fresh.insert(key);
        } else if (item.directory ? !ISO_NODE_IS_DIR(existing)
                                  : ISO_NODE_IS_DIR(existing) || !isImported(existing)) {
            report->nameTaken.append(key);
        }
    }
    if (report->refused())
        return false;
    bool ok = true;
    for (qsizetype i = 0; i < plan.size(); ++i) {
        const Planned &item = plan[i];
        if (item.directory) {
            IsoNode *directory = directoryAt(item.path, added);
            ok = directory && ok;
            // The folder's own time, as readers show it, rather than the time of the add.
            struct stat info {};
            if (!directory || !fresh.contains(keyOfPath(item.path)))
                continue;
            if (item.source.isEmpty()) {
                info.st_mtime = info.st_atime = info.st_ctime = time_t(item.modified);
            } else if (::stat(QFile::encodeName(item.source).constData(), &info) != 0) {
                continue;
            }
            iso_node_set_mtime(directory, info.st_mtime);
            iso_node_set_atime(directory, info.st_atime);
            iso_node_set_ctime(directory, info.st_ctime);
            continue;
        }
        IsoNode *directory = directoryAt(item.path.mid(0, item.path.size() - 1), added);
        if (!directory) {
            ok = false;
            continue;
        }
        const QString key = keyOfPath(item.path);
        if (IsoNode *existing =
                inFreshFolder[i] ? nullptr : childNamed(directory, item.path.last())) {
            if (!replace(key, item.source)) {
                ok = false;
                continue;
            }
            iso_node_remove(existing);
        }
        IsoNode *node = nullptr;
        m_blocks.reset();
        ok = iso_tree_add_new_node(m_image, reinterpret_cast<IsoDir *>(directory),
                                   item.path.last().toUtf8().constData(),
                                   QFile::encodeName(item.source).constData(), &node) >= 0 &&
             ok;
    }
    return ok;
}

bool Compilation::remove(const QString &key, bool *wasDirectory)
{
    const QString normal = normalizedKey(key);
    IsoNode *node = normal == rootKey ? nullptr : nodeAt(normal);
    if (!node)
        return false;
    *wasDirectory = ISO_NODE_IS_DIR(node);
    m_blocks.reset();
    return iso_node_remove(node) == ISO_SUCCESS;
}

std::optional<QString> Compilation::rename(const QString &key, const QString &newName,
                                           bool directory)
{
    const QString normal = normalizedKey(key);
    IsoNode *node = normal == rootKey ? nullptr : nodeAt(normal);
    if (!node || ISO_NODE_IS_DIR(node) != directory || !usableName(newName))
        return std::nullopt;
    const QString newKey = childKey(parentKey(normal), newName);
    if (newKey != normal && nodeAt(newKey))
        return std::nullopt;
    if (iso_image_set_node_name(m_image, node, newName.toUtf8().constData(), 0) < 0)
        return std::nullopt;
    m_blocks.reset();
    return newKey;
}

QList<Compilation::Entry> Compilation::list(const QString &key) const
{
    QList<Entry> entries;
    const QString normal = normalizedKey(key);
    IsoNode *directory = nodeAt(normal);
    if (!directory || !ISO_NODE_IS_DIR(directory))
        return entries;
    IsoDirIter *iterator = nullptr;
    if (iso_dir_get_children(reinterpret_cast<IsoDir *>(directory), &iterator) < 0)
        return entries;
    IsoNode *node = nullptr;
    while (iso_dir_iter_next(iterator, &node) == 1) {
        Entry entry;
        entry.name = QString::fromUtf8(iso_node_get_name(node));
        entry.key = childKey(normal, entry.name);
        entry.isDirectory = ISO_NODE_IS_DIR(node);
        entry.date = QDateTime::fromSecsSinceEpoch(iso_node_get_mtime(node));
        if (ISO_NODE_IS_FILE(node))
            entry.size = iso_file_get_size(reinterpret_cast<IsoFile *>(node));
        entries.append(entry);
    }
    iso_dir_iter_free(iterator);
    return entries;
}

void Compilation::announceDirectories(const DirectoryAdded &added) const
{
    walk(reinterpret_cast<IsoNode *>(iso_image_get_root(m_image)), rootKey,
         [&](IsoNode *node, const QString &key) {
             if (ISO_NODE_IS_DIR(node))
                 added(parentKey(key), key, QString::fromUtf8(iso_node_get_name(node)));
         });
}

int Compilation::fileCount() const
{
    int count = 0;
    walk(reinterpret_cast<IsoNode *>(iso_image_get_root(m_image)), rootKey,
         [&](IsoNode *node, const QString &) { count += ISO_NODE_IS_FILE(node) ? 1 : 0; });
    return count;
}

int Compilation::directoryCount() const
{
    int count = 0;
    walk(reinterpret_cast<IsoNode *>(iso_image_get_root(m_image)), rootKey,
         [&](IsoNode *node, const QString &) { count += ISO_NODE_IS_DIR(node) ? 1 : 0; });
    return count;
}

int Compilation::dropImported(const std::function<void(const QString &)> &directoryRemoved)
{
    QList<IsoNode *> imported;
    walk(reinterpret_cast<IsoNode *>(iso_image_get_root(m_image)), rootKey,
         [&](IsoNode *node, const QString &) {
             if (isImported(node))
                 imported.append(node);
         });
    IsoDir *root = iso_image_get_root(m_image);
    for (IsoNode *node : imported) {
        IsoDir *parent = iso_node_get_parent(node);
        iso_node_remove(node);
        // Folders that only held what went go too.
        while (parent && parent != root && iso_dir_get_children_count(parent) == 0) {
            IsoNode *folder = reinterpret_cast<IsoNode *>(parent);
            QStringList path;
            for (IsoNode *part = folder; part != reinterpret_cast<IsoNode *>(root);
                 part = reinterpret_cast<IsoNode *>(iso_node_get_parent(part)))
                path.prepend(QString::fromUtf8(iso_node_get_name(part)));
            parent = iso_node_get_parent(folder);
            iso_node_remove(folder);
            directoryRemoved(keyOfPath(path));
        }
    }
    if (!imported.isEmpty())
        m_blocks.reset();
    return int(imported.size());
}

bool Compilation::hasImported() const
{
    bool found = false;
    walk(reinterpret_cast<IsoNode *>(iso_image_get_root(m_image)), rootKey,
         [&](IsoNode *node, const QString &) { found = found || isImported(node); });
    return found;
}

QList<SourceFile> Compilation::importedFiles() const
{
    QList<SourceFile> files;
    walk(reinterpret_cast<IsoNode *>(iso_image_get_root(m_image)), rootKey,
         [&](IsoNode *node, const QString &key) {
             if (isImported(node))
                 files.append({key, QString(),
                               qint64(iso_file_get_size(reinterpret_cast<IsoFile *>(node))),
                               qint64(iso_node_get_mtime(node))});
         });
    return files;
}

QList<SourceFile> Compilation::sourceFiles() const
{
    QList<SourceFile> files;
    walk(reinterpret_cast<IsoNode *>(iso_image_get_root(m_image)), rootKey,
         [&](IsoNode *node, const QString &key) {
             if (!ISO_NODE_IS_FILE(node) || isImported(node))
                 return;
             IsoStream *stream = iso_file_get_stream(reinterpret_cast<IsoFile *>(node));
             char *path = iso_stream_get_source_path(stream, 0);
             if (!path)
                 return;
             files.append({key, QFile::decodeName(path), qint64(iso_stream_get_size(stream)),
                           qint64(iso_node_get_mtime(node))});
             std::free(path);
         });
    return files;
}

Expected<qint64> Compilation::imageBlocks(bool joliet) const
{
    if (m_blocks && m_blocksJoliet == joliet)
        return *m_blocks;
    const Expected<qint64> bytes = standaloneImageBytes(m_image, joliet);
    if (!bytes)
        return bytes;
    m_blocks = *bytes / 2048;
    m_blocksJoliet = joliet;
    return *m_blocks;
}

} // namespace quillory
