#pragma once

#include <QTextStream>

namespace quillory {

class ProgramContext;
struct CliOptions;

// Backs the mail profile up into an archive as the window's backup does, without a window, and
// prints the log. Returns the process exit status.
int runBackupCommand(ProgramContext &context, const CliOptions &options, QTextStream &out,
                     QTextStream &err);

} // namespace quillory
