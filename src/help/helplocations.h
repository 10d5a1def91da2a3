#pragma once

#include <QString>

namespace quillory {

// The product's web address and support address, as the build was configured; without them, the
// installed help page and its troubleshooting section.
QString productWebAddress();
QString supportEmailAddress();

// The start page of the program's HTML help below the program folder.
QString helpFilePath(const QString &programFolder);

} // namespace quillory
