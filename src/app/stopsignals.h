#pragma once

namespace quillory {

// Exit status of a program that a signal stopped: nothing was (or no more was) written.
constexpr int stoppedBySignalExit = 2;

// Makes SIGTERM, SIGINT and SIGHUP (a shutdown, Ctrl+C, cron's end) ask the work in progress to
// stop (interruptionRequested()) instead of ending the process where it stands, so that the run
// removes what it staged and keeps the old archive. A signal the process was started to ignore
// (nohup) stays ignored. Returns a descriptor that becomes readable when such a signal arrives,
// for an event loop to notice; -1 when none could be made. Call it first thing in main. It also
// keeps SIGXFSZ (ulimit -f) from ending the process: a write past the limit fails with EFBIG.
int installStopSignals();

// Empties the descriptor installStopSignals() returned, as its reader takes note of the signal:
// left readable, it would end every later event loop, a modal dialog's too, as if a signal had
// just come.
void drainStopWake();

} // namespace quillory
