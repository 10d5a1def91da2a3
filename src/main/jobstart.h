#pragma once

namespace quillory {

// Whether the program was started as a scheduled job: `brevnor --job FILE`.
bool isJobStart(int argc, char *argv[]);
// Runs the unattended backup with the argument text kept in the job file, exactly as if the text
// had been given as the argument. Returns the exit status.
int runJob(int argc, char *argv[]);

} // namespace quillory
