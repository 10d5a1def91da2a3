#pragma once

#include "app/itemtable.h"
#include "platform/atinfo.h"
#include "platform/result.h"

#include <QString>

namespace quillory {

// What the scheduler dialog has collected for one job.
struct JobRequest {
    QString startTime; // the start time box's text, typed or chosen
    QString DayList;
    ItemFlags items{};
    QString LogonUserName;
    QString password; // empty for an unprotected archive
    QString BackupFileName;
    QString programPath; // the installed program, which the job starts for the unattended backup
};

// The job record of the unattended backup the request describes. Fails, saying why, on a start
// time that is no time of day and on values the command line cannot carry: an "=" would shift
// the fields the unattended run reads, a double quote would end the program's path early.
Expected<AT_INFO> FillJobInfo(const JobRequest &request);

} // namespace quillory
