#pragma once

#include "app/runoutcome.h"
#include "platform/result.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillory {

// One run of a scheduled backup, as its job records it beside its job file: brevnor-cli's
// outcome, and what the run reported.
struct JobRun : RunOutcome {
    QStringList lines; // what the run reported, as cron mails it, then its log

    // "Completed", "Completed with problems" or "Failed: " and the first line of the report.
    QString resultText() const;
    bool failed() const { return exitStatus >= 2; }
};

// "The scheduled backup of 8/12/26 9:00 failed: " and the first line of the failed run's report,
// the time in the user's locale.
QString failureSentence(const JobRun &run);

// A job's record: its last run, when its last complete run (one that wrote the archive)
// started, for making up missed runs, and its last failed run, for telling the user of it.
struct JobRecord {
    std::optional<JobRun> last;
    QDateTime lastComplete;
    std::optional<JobRun> lastFailure;

    void add(const JobRun &run);
};

// JSON: the last run's fields ("archive", "archiveSize", "start", "end", "exitStatus" and "items"
// of {"name", "result", "reason"}, as brevnor-cli's outcome has them, then "result" and "lines"),
// "lastComplete", and "lastFailure" with the failed run's fields. Times are ISO 8601 with the
// offset from UTC.
QByteArray jobRecordText(const JobRecord &record);
Expected<JobRecord> parseJobRecord(const QByteArray &text);
// A missing file is an empty record: the job has not run yet.
Expected<JobRecord> readJobRecord(const QString &path);
// Replaces the record whole, readable by the user only.
Result writeJobRecord(const QString &path, const JobRecord &record);

} // namespace quillory
