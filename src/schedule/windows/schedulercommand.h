#pragma once

namespace quillory {

class JobScheduler;
class RunHost;

// Makes the main window's "Task Scheduler" command open the scheduler dialog modally on
// `scheduler`, which must outlive the window.
void attachScheduler(RunHost &host, JobScheduler &scheduler);

} // namespace quillory
