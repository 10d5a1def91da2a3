#pragma once

#include <QString>

namespace quillory {

// The Wine prefix the mail client runs in: $WINEPREFIX, else ~/.wine.
QString defaultWinePrefix();

} // namespace quillory
