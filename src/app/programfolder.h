#pragma once

#include <QString>

namespace quillory {

// The folder that holds the program's own data (skins/, help/): share/quillory beside bin/ once
// installed, and the executables' own folder in a build tree.
QString programFolder();
// The same choice for a program whose executable lies in `executableFolder`.
QString programFolderFor(const QString &executableFolder);

} // namespace quillory
