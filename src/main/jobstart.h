#pragma once

namespace quillory {

// Whether the program was started as a scheduled job: `brevnor --job FILE [--if-missed]`.
bool isJobStart(int argc, char *argv[]);
// Runs the unattended backup with the argument text kept in the job file, exactly as if the text
// had been given as the argument, and records its outcome beside the job file; a failed run is
// also told to the desktop, when one is reachable. With --if-missed the backup runs only when one
// of the job's scheduled times has passed since its last complete run, and otherwise the program
// ends at once with status 0. Returns the exit status.
int runJob(int argc, char *argv[]);

} // namespace quillory
