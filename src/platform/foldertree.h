#pragma once

#include <QString>

namespace quillory {

// Removes a folder with everything below it. Restored folders may hold read-only folders, whose
// entries cannot be removed as they are: folders are made writable first (files are never touched,
// so that another name of a file keeps its permissions). Links below it are removed, never
// followed. Returns whether nothing is left.
bool removeFolderTree(const QString &folder);

} // namespace quillory
