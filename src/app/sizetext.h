#pragma once

#include <QString>

namespace quillory {

// Bytes for people, in three figures and units of 1000, as disks are sold: "820 KB", "1.02 GB".
QString sizeText(quint64 bytes);

} // namespace quillory
