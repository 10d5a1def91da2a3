#pragma once

#include "platform/result.h"

#include <QString>
#include <QTextStream>

namespace quillory {

class PasswordInput;
class ProgramContext;
class ZipArchive;
struct OpenedBackup;

// Opens a backup archive for a command, asking `passwords` when it is protected. When it cannot
// be opened, says why on `err` and returns the reason.
Result openForCommand(ProgramContext &context, ZipArchive &Zip1, const QString &path,
                      PasswordInput &passwords, OpenedBackup &state, QTextStream &err);

// The prompt for an archive's password.
QString passwordPrompt(const QString &archivePath);

} // namespace quillory
