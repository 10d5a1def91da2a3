#pragma once

#include "platform/result.h"
#include "platform/treewalk.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

namespace quillory {

// What the collectors may take from the store: regular files and real folders, listed the way the
// file system gives them. Pipes, sockets, devices and dangling links hold no mail; they are passed
// over without a word. Links to a file or folder count as what they point to.
QStringList regularFilesIn(const QString &folder);
QStringList foldersIn(const QString &folder);

// The files of the store folder that the file items take, by name, in any case.
bool isLdapAccount(const QString &name);
bool isContactOrGroup(const QString &name);
bool isMailDatabase(const QString &name);
bool isAnyFile(const QString &name);

// Whether a name can stand in an item's list line: the reader splits the line at ";" and trims
// each name, and a line break would end the line, so such a file could never be restored.
bool canBeListed(const QString &name);

// Fails, naming the file, when it cannot be opened or its first bytes cannot be read. The archive
// reads its files only when it is written, where one bad file would lose every item.
Result checkReadable(const QString &path);
struct TreeSize {
    quint64 files = 0;
    quint64 bytes = 0;
    // Files and folders whose names are no UTF-8 text, as `WalkedEntry` shows them: left out.
    QStringList undecodable;
};
// Much the same for every file and folder below `folder`, links followed, as the archive's writer
// will list them: fails, naming it, at a folder that cannot be listed or a file that cannot be
// opened or whose first byte cannot be read. Each file is opened from its open folder, not by its
// whole path again. Counts into `size` what the files hold, and hands each file to `file`; a name
// that is no UTF-8 text is only noted in `size`.
Result checkTreeReadable(const QString &folder, TreeSize *size = nullptr,
                         const std::function<void(const WalkedEntry &)> &file = {});
// What `checkTreeReadable` found for folders, by path: taken by a run that follows at once, so
// that a store is walked once for its size estimate and its check.
struct FolderCheck {
    Result readable;
    TreeSize size;
};
using FolderChecks = QHash<QString, FolderCheck>;

} // namespace quillory
