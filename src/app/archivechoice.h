#pragma once

#include <QString>

#include <optional>

namespace quillory {

class ProgramContext;

// Asks where to write a backup archive, starting in the folder of the archive chosen last, and
// asks before an existing file would be replaced. nullopt when the user cancels either question.
std::optional<QString> chooseArchiveToWrite(ProgramContext &context, const QString &title,
                                            const QString &proposedName);

} // namespace quillory
