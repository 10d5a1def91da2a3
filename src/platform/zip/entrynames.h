#pragma once

#include "platform/result.h"

#include <QString>
#include <QStringList>

namespace quillory::zipdetail {

// Entries that are compressed archives already gain nothing from being deflated again.
bool isArchiveName(const QString &entryName);

// The folders and file name below an extraction folder that an entry's name leads to. Both "/"
// and "\" separate, since archives made on Windows may use either. Names that could reach outside
// the folder (a ".." part, a leading separator, a drive letter) are refused with the reason.
Expected<QStringList> relativeEntryPath(const QString &entryName);

// Accepts only a plain file name, for entries taken out one by one straight into a folder.
Result checkBareEntryName(const QString &entryName);

} // namespace quillory::zipdetail
