#include "burn/namerules.h"

namespace quillory {

std::optional<QString> nameRuleViolation(const QString &name, int jolietNames, int isoLevel)
{
    if (name.isEmpty())
        return QStringLiteral("Item name cannot be blank.");
    if (jolietNames == 1) {
        if (name.size() > 64)
            return QStringLiteral("Item Name violates Joliet naming rules (64 Char Max).");
        return std::nullopt;
    }
    if (isoLevel == 1) {
        const qsizetype dot = name.indexOf(QLatin1Char('.'));
        const qsizetype base = dot < 0 ? name.size() : dot;
        const qsizetype extension = dot < 0 ? 0 : name.size() - dot - 1;
        if (base > 8 || extension > 3)
            return QStringLiteral(
                "Item Name violates ISO9660 Level 1 naming rules (8 + 3 Char Max).");
        return std::nullopt;
    }
    if (name.size() > 31)
        return QStringLiteral("Item Name violates ISO9660 Level 2 naming rules (31 Char Max).");
    return std::nullopt;
}

} // namespace quillory
