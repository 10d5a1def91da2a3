#include "platform/disc/compilation.h"

#include "platform/disc/compilationnodes.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace quillory {

using namespace compilationdetail;

namespace {

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

} // namespace quillory
