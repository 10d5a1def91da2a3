#pragma once

#include <QString>

#include <optional>

namespace quillory {

// The process id of a wineserver running for the prefix, if one runs. Looks without side
// effects: it tests the server's lock (Debian's and upstream Wine's server folders), then, for
// any other layout, the wineserver processes that hold the prefix folder open.
std::optional<qint64> runningWineserver(const QString &prefixPath);

} // namespace quillory
