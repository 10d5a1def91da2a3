#pragma once

#include <QTextStream>

namespace quillory {

class ProgramContext;
struct CliOptions;

// Prints what a backup archive holds, item by item: the accounts with their message folders,
// the files, the registry keys and values. Returns the process exit status.
int runListCommand(ProgramContext &context, const CliOptions &options, QTextStream &out,
                   QTextStream &err);

} // namespace quillory
