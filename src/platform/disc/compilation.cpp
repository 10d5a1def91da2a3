#include "platform/disc/compilation.h"

#include "platform/disc/burnheaders.h"
#include "platform/disc/isowriting.h"

#include <QDir>
#include <QFileInfo>

#include <cstdlib>

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

QString nameOf(const QString &key)
{
    return key.mid(key.lastIndexOf(keySeparator) + 1);
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

// A name for one place in a directory: not empty, no separator of either kind.
bool usableName(const QString &name)
{
    return !name.isEmpty() && !name.contains(keySeparator) && !name.contains(QLatin1Char('/')) &&
           name != QLatin1String(".") && name != QLatin1String("..");
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

QString Compilation::normalizedKey(const QString &key)
{
    QString result;
    for (const QString &part : key.split(keySeparator, Qt::SkipEmptyParts))
        result += keySeparator + part;
    return result.isEmpty() ? rootKey : result;
}

IsoNode *Compilation::nodeAt(const QString &key) const
{
    IsoNode *node = reinterpret_cast<IsoNode *>(iso_image_get_root(m_image));
    for (const QString &part : normalizedKey(key).split(keySeparator, Qt::SkipEmptyParts)) {
        if (!ISO_NODE_IS_DIR(node))
            return nullptr;
        node = childNamed(node, part);
        if (!node)
            return nullptr;
    }
    return node;
}

IsoNode *Compilation::directoryAt(const QString &key, const DirectoryAdded &added)
{
    IsoNode *node = reinterpret_cast<IsoNode *>(iso_image_get_root(m_image));
    QString current = rootKey;
    for (const QString &part : normalizedKey(key).split(keySeparator, Qt::SkipEmptyParts)) {
        const QString next = childKey(current, part);
        IsoNode *child = childNamed(node, part);
        if (!child) {
            IsoDir *made = nullptr;
            if (!usableName(part) ||
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

bool Compilation::addFileNode(IsoNode *directory, const QString &key, const QString &name,
                              const QString &sourcePath, const ReplaceImported &replace)
{
    if (!usableName(name))
        return false;
    if (IsoNode *existing = childNamed(directory, name)) {
        if (ISO_NODE_IS_DIR(existing))
            return false;
        if (isImported(existing) && !replace(key, sourcePath))
            return false;
        iso_node_remove(existing);
    }
    IsoNode *node = nullptr;
    m_blocks.reset();
    return iso_tree_add_new_node(m_image, reinterpret_cast<IsoDir *>(directory),
                                 name.toUtf8().constData(),
                                 QFile::encodeName(sourcePath).constData(), &node) >= 0;
}

bool Compilation::addFile(const QString &key, const QString &sourcePath,
                          const DirectoryAdded &added, const ReplaceImported &replace)
{
    const QString normal = normalizedKey(key);
    if (normal == rootKey || !QFileInfo(sourcePath).isFile())
        return false;
    IsoNode *directory = directoryAt(parentKey(normal), added);
    return directory && addFileNode(directory, normal, nameOf(normal), sourcePath, replace);
}

bool Compilation::addFolder(const QString &key, const QString &sourceFolder,
                            const DirectoryAdded &added, const ReplaceImported &replace)
{
    QString folder = sourceFolder;
    for (const QLatin1String pattern : {QLatin1String("\\*.*"), QLatin1String("/*.*")}) {
        if (folder.endsWith(pattern))
            folder.chop(pattern.size());
    }
    if (!QFileInfo(folder).isDir())
        return false;
    const QString normal = normalizedKey(key);
    IsoNode *directory = directoryAt(normal, added);
    return directory && addFolderContents(directory, normal, folder, added, replace);
}

bool Compilation::addFolderContents(IsoNode *directory, const QString &key, const QString &folder,
                                    const DirectoryAdded &added, const ReplaceImported &replace)
{
    bool ok = true;
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        const QString key2 = childKey(key, name);
        if (entry.isDir()) {
            // A link to a folder could lead back into the tree; the folder itself is added
            // where it lies.
            if (entry.isSymLink())
                continue;
            IsoNode *child = directoryAt(key2, added);
            ok = child && addFolderContents(child, key2, entry.filePath(), added, replace) && ok;
        } else if (entry.isFile()) {
            ok = addFileNode(directory, key2, name, entry.filePath(), replace) && ok;
        }
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
                 added(parentKey(key), key, nameOf(key));
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
