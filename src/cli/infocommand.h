#pragma once

#include <QTextStream>

namespace quillory {

class ProgramContext;
struct CliOptions;

// Prints where and when a backup archive was made, its description and the items it holds.
// Returns the process exit status.
int runInfoCommand(ProgramContext &context, const CliOptions &options, QTextStream &out,
                   QTextStream &err);

} // namespace quillory
