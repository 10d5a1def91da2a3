#pragma once

#include <QString>

namespace quillory {

// The computer's host name, trimmed.
QString computerName();
// The account name of the user running the program; "Unknow" when it cannot be read.
QString logonUserName();

} // namespace quillory
