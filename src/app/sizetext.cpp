#include "app/sizetext.h"

#include <array>

namespace quillory {

QString sizeText(quint64 bytes)
{
    static const std::array<const char *, 5> units = {"KB", "MB", "GB", "TB", "PB"};
    if (bytes < 1000)
        return QStringLiteral("%1 bytes").arg(bytes);
    double value = double(bytes);
    std::size_t unit = 0;
    for (value /= 1000; value >= 999.5 && unit + 1 < units.size(); value /= 1000)
        ++unit;
    const int decimals = value < 9.995 ? 2 : value < 99.95 ? 1 : 0;
    return QStringLiteral("%1 %2").arg(value, 0, 'f', decimals).arg(QLatin1String(units[unit]));
}

} // namespace quillory
