#include "platform/zip/extractionplan.h"

#include "platform/zip/entrynames.h"

#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

#include <limits>

namespace quillory::zipdetail {

namespace {

Result refused(const EntryInfo &entry, const QString &why)
{
    return Result::failure(QStringLiteral("entry \"%1\" is refused: %2.").arg(entry.name, why));
}

quint64 saturatingSum(quint64 a, quint64 b)
{
    return a > std::numeric_limits<quint64>::max() - b ? std::numeric_limits<quint64>::max()
                                                       : a + b;
}

} // namespace

Expected<ExtractionPlan> planExtraction(zip_t *archive)
{
    ExtractionPlan plan;
    QSet<QString> files;
    QSet<QString> folders;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t index = 0; index < count; ++index) {
        const Expected<EntryInfo> info = readEntryInfo(archive, zip_uint64_t(index));
        if (!info)
            return info.result();
        if (info->kind == EntryInfo::Kind::SymbolicLink || info->kind == EntryInfo::Kind::Special)
            return refused(*info, QStringLiteral("it is %1").arg(kindText(info->kind)));
        const Expected<QStringList> parts = relativeEntryPath(info->name);
        if (!parts)
            return refused(*info, parts.message());

        const bool isFolder = info->kind == EntryInfo::Kind::Folder;
        if (!isFolder && parts->isEmpty())
            return refused(*info, QStringLiteral("it has no file name"));
        const qsizetype folderDepth = isFolder ? parts->size() : parts->size() - 1;
        for (qsizetype depth = 1; depth <= folderDepth; ++depth) {
            const QString folder = parts->first(depth).join(QLatin1Char('/'));
            if (!folders.contains(folder)) {
                folders.insert(folder);
                plan.folders.append(folder);
            }
        }
        if (isFolder)
            continue;
        const QString path = parts->join(QLatin1Char('/'));
        if (files.contains(path))
            return refused(*info, QStringLiteral("an earlier entry is written to the same file"));
        files.insert(path);
        plan.files.append({*info, path});
        plan.totalSize = saturatingSum(plan.totalSize, info->size);
    }
    for (const auto &[info, path] : plan.files)
        if (folders.contains(path))
            return refused(info, QStringLiteral("other entries need a folder of that name"));
    return plan;
}

Result checkTarget(const ExtractionPlan &plan, const QDir &root)
{
    for (const QString &folder : plan.folders) {
        const QFileInfo info(root.filePath(folder));
        if (info.isSymLink())
            return Result::failure(
                QStringLiteral("%1 is a symbolic link; nothing is written through it.")
                    .arg(info.filePath()));
        if (info.exists() && !info.isDir())
            return Result::failure(
                QStringLiteral("The file %1 is in the way of a folder.").arg(info.filePath()));
    }
    for (const auto &[entry, path] : plan.files) {
        const QFileInfo info(root.filePath(path));
        if (info.isSymLink())
            return Result::failure(
                QStringLiteral("%1 is a symbolic link; nothing is written through it.")
                    .arg(info.filePath()));
        if (info.isDir())
            return Result::failure(
                QStringLiteral("The folder %1 is in the way of a file.").arg(info.filePath()));
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
