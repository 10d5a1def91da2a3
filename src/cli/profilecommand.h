#pragma once

#include <QTextStream>

namespace quillory {

class ProgramContext;

// Prints what the program finds in the mail profile: the store, its folders and which items
// can be backed up. Returns the process exit status.
int runProfileCommand(ProgramContext &context, QTextStream &out);

} // namespace quillory
