#pragma once

#include <QString>

namespace quillory {

// Archives and file systems carry any text. Shown raw, a control character acts instead of
// showing: on a terminal ESC and BEL set its title, clear the screen or hide what a message says.
// Line breaks (LF, and CR before LF) and tabs are kept; every other C0 control character, DEL
// and the C1 control characters are not.

// For terminals and logs: each such character as "\x1b", "\x7f", "\x9b", ...
QString escapedControls(const QString &text);

// For the window: each such character as the replacement character U+FFFD.
QString replacedControls(const QString &text);

} // namespace quillory
