#pragma once

#include <QString>

namespace quillory {

class ProgramContext;

// Removes what this user's runs left behind when they could not clean up (kill -9, a power
// loss), only where the run's process is gone: staging folders in the temporary folder,
// temporary registry files in the Wine prefix, temporary archives beside `archivePath`, and the
// work folders of an account restore in the store. A restore killed after moving an account
// folder aside has that folder put back first; when that cannot be done, its work folder is kept.
// Call it at the start of a run, once the store is located.
void removeLeftovers(const ProgramContext &context, const QString &archivePath = QString());

} // namespace quillory
