#pragma once

namespace quillory {

class BackupTab;
class RestoreTab;
class frmMain;

struct MainTabs {
    BackupTab *backup = nullptr;
    RestoreTab *restore = nullptr;
};

// Gives `window` its Backup and Restore tabs and wires their commands. The tabs are the window's
// children: they and the archives they hold live until the window has waited for its run.
MainTabs attachTabs(frmMain &window);

} // namespace quillory
