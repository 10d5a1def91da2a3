#pragma once

#include <QString>

namespace quillory {

// A warning when the file at `path`, which holds a password, can be read by users other than its
// owner (as ssh warns of keys); empty when only its owner can read it. `what` names the file
// ("The job file").
QString readableByOthers(const QString &path, const QString &what);

} // namespace quillory
