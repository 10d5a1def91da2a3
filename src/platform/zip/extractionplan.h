#pragma once

#include "platform/result.h"
#include "platform/zip/entryinfo.h"

#include <QDir>
#include <QList>
#include <QString>

namespace quillory::zipdetail {

// What the file systems the program writes to allow, and what Wine sees below a folder: no
// real profile comes near these, and an archive that does is damaged or made to do harm.
constexpr qsizetype maxNameBytes = 255;
constexpr qsizetype maxPathBytes = 4096;
constexpr qsizetype maxFolderDepth = 512;

// Where each entry of an archive goes below an extraction folder, decided before anything is
// written, so that one unsafe entry stops the whole extraction instead of half of it. Each folder
// is kept once, by its own name below its parent, so that the plan grows with the entries' names
// and not with the square of their depth.
struct ExtractionPlan {
    // No parent: the folder lies directly in the extraction folder.
    static constexpr qsizetype top = -1;
    struct Folder {
        qsizetype parent = top;
        QString name;
    };
    struct File {
        EntryInfo entry;
        qsizetype folder = top;
        // Below the extraction folder, parts joined by "/".
        QString path;
    };
    // Every folder needed below the extraction folder, parents before their children.
    QList<Folder> folders;
    QList<File> files;
    quint64 totalSize = 0;

    // The folder's path below the extraction folder, parts joined by "/"; empty for `top`.
    QString folderPath(qsizetype folder) const;
};

// Refuses entries that would land outside the folder, symbolic links, special files, names the
// file system cannot take, two entries for one file or folder, names that differ only in case
// (the mail client under Wine sees them as one), and a file where other entries need a folder.
Expected<ExtractionPlan> planExtraction(zip_t *archive);

// Refuses what is in the way on disk below `root`: a file where a folder must go, a folder where
// a file must go, a symbolic link; and too little free space for the data.
Result checkTarget(const ExtractionPlan &plan, const QDir &root);

Result checkRoom(const QString &folder, quint64 bytes);

// The name as a message shows it: a name of thousands of characters is cut short.
QString shownName(const QString &name);

} // namespace quillory::zipdetail
