#pragma once

#include <QString>

namespace quillory {

// The values the whole program shares, set at start-up and when the store is found.
struct ProgramValues {
    QString WindowsFolder; // the prefix's Windows folder, as a host path
    QString CommandLine;   // the argument text; empty for an interactive start
    QString ComputerName;
    QString LogonUserName; // "Unknow" when the account name cannot be read
    QString StoreFolder;   // host path of the mail store folder
    QString
        BackupFileName; // archive to write, shared by the backup tab, scheduler and unattended run
    QString InfoFilePath; // the backup information file, inside the run's staging folder
};

} // namespace quillory
