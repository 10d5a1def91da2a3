#pragma once

#include "app/itemtable.h"
#include "platform/jobscheduler.h"
#include "platform/result.h"

#include <QDate>
#include <QString>

namespace quillory {

// A scheduled job read back as the backup it runs, for the list of scheduled backups.
struct ScheduledBackup {
    quint32 jobNumber = 0;
    QString startTime; // as the start time list writes it, "9:00"
    QString DayList;   // empty for a job that runs once
    QDate runsOnceOn;
    ItemFlags items{};
    QString archivePath;
};

// Fails when the job's command is not an unattended backup's.
Expected<ScheduledBackup> describeScheduledBackup(const ScheduledJob &job);

} // namespace quillory
