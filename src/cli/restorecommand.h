#pragma once

#include <QTextStream>

namespace quillory {

class ProgramContext;
struct CliOptions;

// Restores the chosen items of a backup archive into the mail profile without asking, and
// prints the report. Returns the process exit status.
int runRestoreCommand(ProgramContext &context, const CliOptions &options, QTextStream &out,
                      QTextStream &err);

} // namespace quillory
