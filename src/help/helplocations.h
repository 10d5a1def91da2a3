#pragma once

#include <QString>

namespace quillory {

// The product's web address and support address; set when the program is configured.
QString productWebAddress();
QString supportEmailAddress();

// The start page of the program's HTML help below the program folder.
QString helpFilePath(const QString &programFolder);

} // namespace quillory
