#include "backup/nestedarchives.h"

#include "platform/zip/ziparchive.h"

#include <QDir>
#include <QtConcurrent/QtConcurrentMap>

namespace quillory {

namespace {

Result buildOne(const QString &source, const QString &target)
{
    ZipArchive Zip2;
    if (Result created = Zip2.CreateArchive(target); !created)
        return created;
    Zip2.setDurable(false);
    if (Result added = Zip2.AddFiles(source + QStringLiteral("/*.*"), true); !added)
        return added;
    Result written = Zip2.WriteArchive();
    Zip2.CloseArchive();
    return written;
}

} // namespace

QList<Result> buildNestedArchives(const QString &storeFolder, const QStringList &folders,
                                  const QString &targetFolder)
{
    const QDir store(storeFolder);
    const QDir target(targetFolder);
    return QtConcurrent::blockingMapped<QList<Result>>(folders, [&](const QString &folder) {
        return buildOne(store.filePath(folder), target.filePath(folder + QStringLiteral(".zip")));
    });
}

} // namespace quillory
