#pragma once

#include <QString>

#include <optional>

namespace quillory {

class ProgramContext;

// Asks where to write a backup archive, starting in the folder of the archive chosen last, and
// asks before an existing file would be replaced; "No" there leads back to the save dialog.
// nullopt when the user cancels the save dialog.
std::optional<QString> chooseArchiveToWrite(ProgramContext &context, const QString &title,
                                            const QString &proposedName);

} // namespace quillory
