#pragma once

#include "backup/archiveestimate.h"
#include "platform/freespace.h"

#include <QList>
#include <QString>

#include <optional>

namespace quillory {

class ProgramContext;

// A place the backup writes to that lacks room for what the estimate puts there.
struct SpaceShortfall {
    // "the archive's folder", "the temporary folder", or both when they share a file system.
    QString place;
    QString mountPoint;
    quint64 needed = 0;
    quint64 free = 0;
};

// Where the estimated backup does not fit: the archive, built beside `archivePath`, and what the
// run stages in `tempFolder`. Both count against one file system when they share it. A place
// whose room cannot be told is not reported.
QList<SpaceShortfall> spaceShortfalls(const ArchiveEstimate &estimate, const QString &archivePath,
                                      const QString &tempFolder, const FreeSpaceQuery &space);

// For a run nobody answers: the shortfalls of a backup of `items` into `archivePath` from the
// context's store, with word that the backup goes on; empty when it fits. With `checks`, what the
// account folders' check found is kept there for the run (see `estimateArchive`).
QString spaceWarning(const ProgramContext &context, const QString &archivePath,
                     const ItemFlags &items, bool protect, FolderChecks *checks = nullptr);

// "About 1.02 GB; 35.4 GB free on /home", or without the free space when it cannot be told.
QString estimateLine(quint64 estimate, const std::optional<FreeSpace> &target);
// One sentence per shortfall, saying where and by how much.
QString shortfallText(const QList<SpaceShortfall> &shortfalls);

} // namespace quillory
