#pragma once

#include <QTextStream>

namespace quillory {

class ProgramContext;
struct CliOptions;

// Reads every entry of an archive, checking its CRC and, when it is protected, the password's
// authentication code, and says whether the archive is sound. Returns the process exit status.
int runVerifyCommand(ProgramContext &context, const CliOptions &options, QTextStream &out,
                     QTextStream &err);

} // namespace quillory
