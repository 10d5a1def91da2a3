#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace quillory {

struct OpenedBackup;

// One store folder to replace from the nested archive of that name.
struct AccountFolder {
    QString entryName;
    QString target;
    // The bytes the entry takes in the archive: how the work done is counted.
    quint64 storedSize = 0;
};

struct AccountFoldersOutcome {
    // One line for each folder not restored, in the order given.
    QStringList problems;
    bool changed = false;
};

// Told the share of the work done, from 0 to 1; called on the caller's thread only.
using WorkShare = std::function<void(double share)>;

// Replaces the folders from the archive `state` describes, several at once (one per core), each
// reading its nested archive where it lies. The archive is opened once more for each worker and
// must still be the file that was opened. A folder that cannot be replaced is named, and the
// others are replaced all the same. The old copies are removed while the next folders are
// extracted, each once its replacement is on disk, and all of them before this returns.
// `scratchFolder` takes nested archives that must be copied to be read.
AccountFoldersOutcome restoreAccountFolders(const OpenedBackup &state,
                                            const QList<AccountFolder> &folders,
                                            const QString &scratchFolder,
                                            const WorkShare &progress);

} // namespace quillory
