#pragma once

#include "platform/result.h"

#include <QString>

namespace quillory::zipdetail {

// Creates a fresh, empty file beside `target` to build its replacement in, with the permissions
// a new file gets.
Expected<QString> createSiblingFile(const QString &target);

enum class Durability { Synced, Unsynced };

// Flushes `temp` to disk (unless `Unsynced`), gives it the permissions of the file it replaces and
// renames it over `target`, so that `target` is at every moment either the old file or the
// complete new one.
Result moveIntoPlace(const QString &temp, const QString &target,
                     Durability durability = Durability::Synced);

} // namespace quillory::zipdetail
