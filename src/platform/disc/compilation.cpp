#include "platform/disc/compilation.h"

#include "platform/disc/compilationnodes.h"
#include "platform/disc/isowriting.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

namespace quillory {

using namespace compilationdetail;

namespace {

// A name given in the compilation itself, where a backslash separates the parts of a key.
bool usableName(const QString &name)
{
    return placeableName(name) && !name.contains(keySeparator);
}

} // namespace

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
