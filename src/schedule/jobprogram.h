#pragma once

#include <QString>
#include <QStringList>

namespace quillory {

// The brevnor a scheduled job starts. A job outlives the program that scheduled it, so an
// installed program is preferred to one in a build tree that may move or be deleted: the running
// one when it is installed, else the one on `searchPath`, else the one in `installedBinFolder`,
// and the running one only when no other is installed.
QString jobProgramPath(const QString &runningFolder, const QStringList &searchPath,
                       const QString &installedBinFolder);
// For the running program, the PATH and the folder the build installs into.
QString jobProgramPath();

} // namespace quillory
