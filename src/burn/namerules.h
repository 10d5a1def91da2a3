#pragma once

#include <QString>

#include <optional>

namespace quillory {

// The message for a new name of a compilation item that the disc's naming rules refuse, or
// nothing when the name may be used. `jolietNames` and `isoLevel` are the disc writer's.
std::optional<QString> nameRuleViolation(const QString &name, int jolietNames, int isoLevel);

} // namespace quillory
