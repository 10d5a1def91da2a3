#pragma once

#include "platform/result.h"
#include "platform/zip/entryinfo.h"

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QString>

#include <vector>

namespace quillory::zipdetail {

class ArchiveSlices;

// What the file systems the program writes to allow, and what Wine sees below a folder: no
// real profile comes near these, and an archive that does is damaged or made to do harm.
constexpr qsizetype maxNameBytes = 255;
constexpr qsizetype maxPathBytes = 4096;
constexpr qsizetype maxFolderDepth = 512;

// Where each entry of an archive goes below an extraction folder, decided before anything is
// written, so that one unsafe entry stops the whole extraction instead of half of it. Each folder
// is kept once, by its own name below its parent, so that the plan grows with the entries' names
// and not with the square of their depth; each file by its entry's number and its path, the
// paths in one block, so that a plan of a quarter of a million files takes tens of megabytes.
struct ExtractionPlan {
    // No parent: the folder lies directly in the extraction folder.
    static constexpr qsizetype top = -1;
    struct Folder {
        qsizetype parent = top;
        QString name;
    };
    struct File {
        // The entry's number in the whole archive.
        quint64 index = 0;
        qsizetype folder = top;
        // Where the file's path lies in `paths`.
        qsizetype pathAt = 0;
        qsizetype pathLength = 0;
    };
    // Every folder needed below the extraction folder, parents before their children.
    QList<Folder> folders;
    // In the archive's order.
    std::vector<File> files;
    // The files' paths below the extraction folder, parts joined by "/", in UTF-8.
    QByteArray paths;
    quint64 totalSize = 0;

    // The folder's path below the extraction folder, parts joined by "/"; empty for `top`.
    QString folderPath(qsizetype folder) const;
    QString path(const File &file) const;
};

// Refuses entries that would land outside the folder, symbolic links, special files, names the
// file system cannot take, two entries for one file or folder, names that differ only in case
// (the mail client under Wine sees them as one), and a file where other entries need a folder.
Expected<ExtractionPlan> planExtraction(ArchiveSlices &archive);

// Refuses what is in the way on disk below `root`: a file where a folder must go, a folder where
// a file must go, a symbolic link; and too little free space for the data.
Result checkTarget(const ExtractionPlan &plan, const QDir &root);

Result checkRoom(const QString &folder, quint64 bytes);

// The name as a message shows it: a name of thousands of characters is cut short.
QString shownName(const QString &name);

} // namespace quillory::zipdetail
