#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace quillory {

enum class Durability { Synced, Unsynced };

// Who may read the new file: as the file it replaces (its permissions, owner and group; for a
// new file, what the umask gives, or its owner only in a folder only its owner may enter), or
// its owner only from the moment it exists.
enum class Access { AsTarget, OwnerOnly };

// What becomes of a symbolic link at the target: the file it leads to is replaced (an archive the
// user keeps elsewhere through a link), or the link itself gives way to the new file (the
// program's own records, where a planted link must not lead the write elsewhere).
enum class LinkAtTarget { Followed, Replaced };

// The one way a file the user cares about is replaced. The new contents go to a file beside the
// target under a temporary name; `commit` syncs it, renames it over the target and syncs the
// folder, checking every step, so that the target is at every moment, power cuts included, either
// the old file or the complete new one. A link at the target stays a link and the file it points
// to is replaced, unless told otherwise. Until `commit` succeeds the target is as it was, and a
// replacement not committed is removed.
class FileReplacement {
public:
    explicit FileReplacement(const QString &target, LinkAtTarget link = LinkAtTarget::Followed);
    ~FileReplacement();
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;

    // Creates the file under its temporary name and opens `file()` on it for writing.
    Result open(Access access = Access::AsTarget);
    QFile &file() { return m_file; }
    // The temporary name. What is there when `commit` is called is what replaces the target,
    // also when a library has written a new file there by name.
    QString path() const { return m_file.fileName(); }
    // The file it replaces, links followed.
    const QString &target() const { return m_target; }
    // Before the new file takes its place, `commit` keeps the file it replaces under `path` too,
    // a second name of the same file where the file system allows it, else a copy, synced before
    // it takes that name. Nothing already at `path` is ever replaced: the commit fails instead.
    // When the replacement fails, no copy is left at `path` that this made.
    void keepPreviousAs(const QString &path) { m_keepAs = path; }
    // `Unsynced` skips both syncs: for files in a run's staging folder, which no power cut needs
    // to find again.
    Result commit(Durability durability = Durability::Synced);

private:
    Result keepAccess(int fd);
    Expected<bool> keepPrevious();

    QString m_target;
    QString m_keepAs;
    QFile m_file;
    Access m_access = Access::AsTarget;
    bool m_pending = false;
};

// Replaces `target` with `contents` through a FileReplacement.
Result replaceFileContents(const QString &target, const QByteArray &contents,
                           Access access = Access::AsTarget,
                           LinkAtTarget link = LinkAtTarget::Followed);

// Makes what changed among `folder`'s names (files made, renamed or removed in it) survive a power
// cut. A file system that keeps no folders to sync (it refuses the call as unsupported) counts as
// done.
Result syncFolder(const QString &folder);
// Makes everything written on `folder`'s file system survive a power cut: for a folder of many new
// small files, one call that costs a fraction of syncing each.
Result syncFileSystemOf(const QString &folder);

// Whether only its owner may enter `folder` (a run's staging folder): a file made there is kept to
// its owner too, where anywhere else the umask decides.
bool isPrivateFolder(const QString &folder);
// Whether `folder` is the user's own (as far as it can be looked at): a file made in another
// user's folder is kept to its owner.
bool isOwnFolder(const QString &folder);

// Removes what runs whose process is gone left beside `target` while building its replacement.
void removeStaleReplacements(const QString &target);

} // namespace quillory
