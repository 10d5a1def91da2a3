#include "platform/zip/extractionplan.h"

#include "platform/zip/archiveslices.h"
#include "platform/zip/entrynames.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>
#include <limits>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace quillory::zipdetail {

namespace {

// A name below its folder, without regard to case.
using PlacedName = std::pair<qsizetype, QString>;

Result refused(const EntryInfo &entry, const QString &why)
{
    return Result::failure(
        QStringLiteral("entry \"%1\" is refused: %2.").arg(shownName(entry.name), why));
}

quint64 saturatingSum(quint64 a, quint64 b)
{
    return a > std::numeric_limits<quint64>::max() - b ? std::numeric_limits<quint64>::max()
                                                       : a + b;
}

// Why the file system could not take the path, if it could not.
std::optional<QString> overLimits(const QStringList &parts, qsizetype folderDepth)
{
    if (folderDepth > maxFolderDepth)
        return QStringLiteral("it lies more than %1 folders deep").arg(maxFolderDepth);
    qsizetype pathBytes = 0;
    for (const QString &part : parts) {
        const qsizetype bytes = QFile::encodeName(part).size();
        if (bytes > maxNameBytes)
            return QStringLiteral("a part of its name is longer than %1 bytes").arg(maxNameBytes);
        pathBytes += bytes + 1;
    }
    if (pathBytes > maxPathBytes)
        return QStringLiteral("its name is longer than %1 bytes").arg(maxPathBytes);
    return std::nullopt;
}

class PlanBuilder {
public:
    // Room for `entries` files at once: a list grown file by file holds its old and new storage
    // together each time it grows.
    explicit PlanBuilder(quint64 entries)
    {
        m_plan.files.reserve(size_t(entries));
        m_sameKey.reserve(size_t(entries));
    }

    Result add(quint64 index, const EntryInfo &info, const QStringList &parts)
    {
        const bool isFolder = info.kind == EntryInfo::Kind::Folder;
        const qsizetype folderDepth = isFolder ? parts.size() : parts.size() - 1;
        qsizetype parent = ExtractionPlan::top;
        for (qsizetype depth = 0; depth < folderDepth; ++depth) {
            const Expected<qsizetype> folder = enter(info, parent, parts.at(depth));
            if (!folder)
                return folder.result();
            parent = *folder;
        }
        if (isFolder) {
            if (parent != ExtractionPlan::top && m_named.contains(parent))
                return refused(info, QStringLiteral("an earlier entry names the same folder"));
            m_named.insert(parent);
            return Result::success();
        }
        const PlacedName placed{parent, parts.last().toCaseFolded()};
        if (m_folderIds.contains(placed))
            return refused(info, QStringLiteral("other entries need a folder of that name"));
        const QByteArray path = parts.join(QLatin1Char('/')).toUtf8();
        if (const std::optional<qsizetype> earlier = fileAt(placed))
            return refused(info,
                           pathBytes(m_plan.files[size_t(*earlier)]) == path
                               ? QStringLiteral("an earlier entry is written to the same file")
                               : QStringLiteral("its name differs from an earlier entry's "
                                                "only in case"));
        const size_t key = keyOf(placed);
        const auto latest = m_fileIds.constFind(key);
        m_sameKey.push_back(latest == m_fileIds.cend() ? noFile : *latest);
        m_fileIds.insert(key, qsizetype(m_plan.files.size()));
        m_plan.files.push_back({index, parent, m_plan.paths.size(), path.size()});
        m_plan.paths.append(path);
        m_plan.totalSize = saturatingSum(m_plan.totalSize, info.size);
        return Result::success();
    }

    ExtractionPlan take()
    {
        m_plan.paths.squeeze();
        return std::move(m_plan);
    }

private:
    static constexpr qsizetype noFile = -1;

    static size_t keyOf(const PlacedName &placed) { return qHash(placed.second, placed.first); }

    QByteArrayView pathBytes(const ExtractionPlan::File &file) const
    {
        return QByteArrayView(m_plan.paths.constData() + file.pathAt, file.pathLength);
    }

    // The file placed under that name, if any. Files are found by a hash of their place alone,
    // files whose places share it linked one to the next; names are compared only among those.
    std::optional<qsizetype> fileAt(const PlacedName &placed) const
    {
        const auto found = m_fileIds.constFind(keyOf(placed));
        for (qsizetype id = found == m_fileIds.cend() ? noFile : *found; id != noFile;
             id = m_sameKey[size_t(id)]) {
            const ExtractionPlan::File &file = m_plan.files[size_t(id)];
            const QByteArrayView path = pathBytes(file);
            if (file.folder == placed.first &&
                QString::fromUtf8(path.sliced(path.lastIndexOf('/') + 1)).toCaseFolded() ==
                    placed.second)
                return id;
        }
        return std::nullopt;
    }

    Expected<qsizetype> enter(const EntryInfo &info, qsizetype parent, const QString &name)
    {
        const PlacedName placed{parent, name.toCaseFolded()};
        if (const auto known = m_folderIds.constFind(placed); known != m_folderIds.cend()) {
            if (m_plan.folders.at(*known).name != name)
                return refused(info, QStringLiteral("its folder \"%1\" differs from an earlier "
                                                    "entry's only in case")
                                         .arg(shownName(name)));
            return *known;
        }
        if (fileAt(placed))
            return refused(info,
                           QStringLiteral("an earlier entry is a file where it needs a folder"));
        const qsizetype id = m_plan.folders.size();
        m_plan.folders.append({parent, name});
        m_folderIds.insert(placed, id);
        return id;
    }

    ExtractionPlan m_plan;
    QHash<PlacedName, qsizetype> m_folderIds;
    // The last file placed with each hash, and for each file the one placed before it with the
    // same hash.
    QHash<size_t, qsizetype> m_fileIds;
    std::vector<qsizetype> m_sameKey;
    // Folders that an entry of their own names.
    QSet<qsizetype> m_named;
};

} // namespace

QString ExtractionPlan::folderPath(qsizetype folder) const
{
    std::vector<const QString *> names;
    qsizetype length = 0;
    for (qsizetype at = folder; at != top; at = folders.at(at).parent) {
        names.push_back(&folders.at(at).name);
        length += folders.at(at).name.size() + 1;
    }
    QString path;
    path.reserve(length);
    for (auto name = names.crbegin(); name != names.crend(); ++name) {
        if (!path.isEmpty())
            path += QLatin1Char('/');
        path += **name;
    }
    return path;
}

QString ExtractionPlan::path(const File &file) const
{
    return QString::fromUtf8(paths.constData() + file.pathAt, file.pathLength);
}

QString shownName(const QString &name)
{
    constexpr qsizetype shown = 120;
    return name.size() <= shown ? name : name.left(shown) + QStringLiteral("…");
}

Expected<ExtractionPlan> planExtraction(ArchiveSlices &archive)
{
    PlanBuilder builder(archive.entryCount());
    const Result planned = archive.eachSlice([&](zip_t *entries, quint64 first) {
        const zip_int64_t count = zip_get_num_entries(entries, 0);
        for (zip_int64_t index = 0; index < count; ++index) {
            const Expected<EntryInfo> info = readEntryInfo(entries, zip_uint64_t(index));
            if (!info)
                return info.result();
            if (info->kind == EntryInfo::Kind::SymbolicLink ||
                info->kind == EntryInfo::Kind::Special)
                return refused(*info, QStringLiteral("it is %1").arg(kindText(info->kind)));
            if (Result readable = checkReadableMethod(*info); !readable)
                return readable;
            const Expected<QStringList> parts = relativeEntryPath(info->name);
            if (!parts)
                return refused(*info, parts.message());
            const bool isFolder = info->kind == EntryInfo::Kind::Folder;
            if (!isFolder && parts->isEmpty())
                return refused(*info, QStringLiteral("it has no file name"));
            if (const std::optional<QString> over =
                    overLimits(*parts, isFolder ? parts->size() : parts->size() - 1))
                return refused(*info, *over);
            if (Result added = builder.add(first + quint64(index), *info, *parts); !added)
                return added;
        }
        return Result::success();
    });
    if (!planned)
        return planned;
    return builder.take();
}

Result checkTarget(const ExtractionPlan &plan, const QDir &root)
{
    const auto inTheWay = [](const QString &path, bool wantFolder) -> std::optional<Result> {
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            return std::nullopt;
        if (S_ISLNK(st.st_mode))
            return Result::failure(
                QStringLiteral("%1 is a symbolic link; nothing is written through it.").arg(path));
        if (wantFolder && !S_ISDIR(st.st_mode))
            return Result::failure(
                QStringLiteral("The file %1 is in the way of a folder.").arg(path));
        if (!wantFolder && S_ISDIR(st.st_mode))
            return Result::failure(
                QStringLiteral("The folder %1 is in the way of a file.").arg(path));
        return Result::success();
    };
    // Below a folder that is not there, nothing is: only what may exist is looked at.
    std::vector<char> exists(size_t(plan.folders.size()), 0);
    const auto parentExists = [&](qsizetype parent) {
        return parent == ExtractionPlan::top || exists[size_t(parent)];
    };
    for (qsizetype id = 0; id < plan.folders.size(); ++id) {
        if (!parentExists(plan.folders.at(id).parent))
            continue;
        const std::optional<Result> found = inTheWay(root.filePath(plan.folderPath(id)), true);
        if (found && !*found)
            return *found;
        exists[size_t(id)] = found.has_value();
    }
    for (const ExtractionPlan::File &file : plan.files) {
        if (!parentExists(file.folder))
            continue;
        if (const std::optional<Result> found = inTheWay(root.filePath(plan.path(file)), false);
            found && !*found)
            return *found;
    }
    return checkRoom(root.path(), plan.totalSize);
}

Result checkRoom(const QString &folder, quint64 bytes)
{
    const QStorageInfo storage(folder);
    if (storage.isValid() && storage.bytesAvailable() >= 0 &&
        bytes > quint64(storage.bytesAvailable()))
        return Result::failure(
            QStringLiteral("The data needs %1 bytes, but only %2 are free in %3.")
                .arg(bytes)
                .arg(storage.bytesAvailable())
                .arg(folder));
    return Result::success();
}

} // namespace quillory::zipdetail
