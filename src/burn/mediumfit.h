#pragma once

#include <QString>

namespace quillory {

// What the burn offer adds about a file of `bytes` put on one disc: empty when it fits on a CD,
// else the sentence naming the smallest medium of the offer's (CD-R/RW or DVD) it fits on, or
// that none holds it.
QString mediumFitText(quint64 bytes);

} // namespace quillory
