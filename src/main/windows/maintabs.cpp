#include "main/windows/maintabs.h"

#include "backup/windows/backuptab.h"
#include "main/windows/frmmain.h"
#include "restore/windows/restoretab.h"

namespace quillory {

MainTabs attachTabs(frmMain &window)
{
    MainTabs tabs{new BackupTab(window, window.backupitem),
                  new RestoreTab(window, window.restoreitem)};
    QObject::connect(&window, &frmMain::backupRequested, tabs.backup, &BackupTab::RunBackup);
    QObject::connect(&window, &frmMain::restoreRequested, tabs.restore, &RestoreTab::RestoreNow);
    QObject::connect(tabs.backup, &BackupTab::archiveOfferedForDisc, &window,
                     &frmMain::rememberArchiveForDisc);
    return tabs;
}

} // namespace quillory
