#pragma once

#include "platform/result.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace quillory {

// Builds one archive per folder of `folders` (names of subfolders of `storeFolder`), each named
// after its folder with ".zip" appended and written into `targetFolder`. The archives do not
// depend on each other, so they are built side by side, one per core; the results come back in
// the order of `folders`. They live only for the run, so they are not flushed to disk.
QList<Result> buildNestedArchives(const QString &storeFolder, const QStringList &folders,
                                  const QString &targetFolder);

} // namespace quillory
