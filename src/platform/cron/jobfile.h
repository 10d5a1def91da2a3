#pragma once

#include "platform/jobscheduler.h"
#include "platform/result.h"

#include <QMap>
#include <QString>

#include <optional>

namespace quillory {

// A scheduled job's argument text, which holds the archive's password, kept in a file of its own
// that only its owner can read (0600, in a folder that only the owner can enter, 0700), so that
// neither the crontab line nor the process list nor cron's log and mail ever show it.
// The argument text is the file's first line; the job's settings follow, one "name=value" a line,
// so that a file of an older job, which holds the text alone, reads as one without settings.
struct JobFileContents {
    QString arguments;
    QMap<QString, QString> settings;
};

Result writeJobFile(const QString &path, const QString &arguments,
                    const QMap<QString, QString> &settings = {});
Expected<JobFileContents> readJobFile(const QString &path);

// The job's times ("JobTime", "DaysOfWeek" and, for a job that runs once, "runsOnceOn") are kept
// among its settings too, so that the program it starts knows its own schedule whichever crontab
// started it.
void putSchedule(QMap<QString, QString> &settings, const ScheduledJob &job);
// The times of the job whose settings these are; nullopt for a job file without them.
std::optional<ScheduledJob> scheduleFrom(const QMap<QString, QString> &settings);

// Where a job's runs record their outcome: beside its file, closed to others as the file is.
QString outcomeRecordPath(const QString &jobFile);

} // namespace quillory
