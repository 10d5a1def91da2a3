#pragma once

namespace quillory {

class frmMain;
class JobScheduler;

// Makes the main window's "Task Scheduler" command open the scheduler dialog modally on
// `scheduler`, which must outlive the window.
void attachScheduler(frmMain &window, JobScheduler &scheduler);

} // namespace quillory
