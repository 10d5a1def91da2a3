#pragma once

#include "platform/result.h"
#include "platform/zip/entryinfo.h"

#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace quillory::zipdetail {

// Where each entry of an archive goes below an extraction folder, decided before anything is
// written, so that one unsafe entry stops the whole extraction instead of half of it.
struct ExtractionPlan {
    // Each file entry with its path below the folder, parts joined by "/".
    QList<std::pair<EntryInfo, QString>> files;
    // Every folder needed below the folder, parents before their children.
    QStringList folders;
    quint64 totalSize = 0;
};

// Refuses entries that would land outside the folder, symbolic links, special files, two entries
// for one file, and a file where other entries need a folder.
Expected<ExtractionPlan> planExtraction(zip_t *archive);

// Refuses what is in the way on disk below `root`: a file where a folder must go, a folder where
// a file must go, a symbolic link; and too little free space for the data.
Result checkTarget(const ExtractionPlan &plan, const QDir &root);

Result checkRoom(const QString &folder, quint64 bytes);

} // namespace quillory::zipdetail
