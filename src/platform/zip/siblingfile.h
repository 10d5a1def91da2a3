#pragma once

#include "platform/result.h"

#include <QString>

namespace quillory::zipdetail {

// Creates a fresh, empty file beside `target` to build its replacement in, with the permissions
// a new file gets there (its owner's only in a folder only its owner may enter). When `target`
// is a symbolic link, the file is made beside the file the link points to. Files that killed
// runs left beside the target are removed first.
Expected<QString> createSiblingFile(const QString &target);

// Whether only its owner may enter `folder` (a run's staging folder): a file made there is kept to
// its owner too, where anywhere else the umask decides.
bool isPrivateFolder(const QString &folder);

// Removes what runs whose process is gone left beside `target` while building its replacement.
void removeStaleSiblings(const QString &target);

// `target` with every symbolic link at its end followed: the file a replacement goes to.
QString resolvedTarget(const QString &target);

enum class Durability { Synced, Unsynced };

// Flushes `temp` to disk (unless `Unsynced`), gives it the permissions of the file it replaces (or
// of a new file there, as `createSiblingFile` would) and renames it over `target`, so that `target`
// is at every moment either the old file or the complete new one. A link at `target` is kept; the
// file it points to is replaced.
Result moveIntoPlace(const QString &temp, const QString &target,
                     Durability durability = Durability::Synced);

} // namespace quillory::zipdetail
