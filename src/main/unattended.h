#pragma once

namespace quillory {

// The program's start with argument text: one unattended backup, no window, no display needed.
// Returns the exit status.
int runUnattended(int argc, char *argv[]);

// The argument text as the scheduler's command line gave it: the arguments joined by blanks.
// Empty when the program was started without arguments.
bool hasArgumentText(int argc, char *argv[]);

} // namespace quillory
