#pragma once

#include <QString>

namespace quillory {

// The values the whole program shares, set at start-up and when the store is found.
struct ProgramValues {
    QString ComputerName;
    QString LogonUserName; // "Unknow" when the account name cannot be read
    QString
        BackupFileName; // archive to write, shared by the backup tab, scheduler and unattended run
    QString InfoFilePath; // the backup information file, inside the run's staging folder
};

} // namespace quillory
