#pragma once

#include <QString>

namespace quillory {

// Whether the process has been asked to stop (SIGTERM, SIGINT, SIGHUP). A signal handler sets
// it; long work (the archive writer, the front-ends between steps) looks at it and winds down
// through its ordinary failure paths, so that what it staged is removed as after any failure.
void requestInterruption(int signal) noexcept; // safe to call from a signal handler
bool interruptionRequested() noexcept;
// Why work stopped, for messages: names the signal.
QString interruptionText();

} // namespace quillory
