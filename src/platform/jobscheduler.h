#pragma once

#include "platform/atinfo.h"
#include "platform/result.h"

#include <QDate>
#include <QList>
#include <QMap>
#include <QString>

namespace quillory {

// One of the program's own jobs, as the scheduler holds it.
struct ScheduledJob {
    quint32 number = 0;
    AT_INFO job;
    QDate runsOnceOn; // the day a job without week days runs; null for a recurring job
    // The file that keeps the job's argument text out of the schedule, where other users could
    // read it; empty for a job of the older form, whose schedule holds the text itself.
    QString jobFile;
    // Why the job cannot run as it stands (its program or its job file is missing); empty when
    // nothing stops it.
    QString problem;
    // The settings kept with the argument text (JobOptions::settings).
    QMap<QString, QString> settings{};
    // Whether the job makes up for runs the computer was off or asleep for.
    bool catchesUp = false;
};

// What a job holds beyond its record.
struct JobOptions {
    // Kept with the argument text, for the program the job starts.
    QMap<QString, QString> settings;
    // The program is also started at boot and every hour with "--if-missed" after the argument
    // text's file, to make up for a run the computer was off or asleep for.
    bool catchUp = false;
};

// The system's job scheduler. It holds only the program's own jobs and never touches others.
class JobScheduler {
public:
    virtual ~JobScheduler() = default;

    // Adds the job and returns its number, unique among the program's jobs.
    virtual Expected<quint32> NetScheduleJobAdd(const AT_INFO &job,
                                                const JobOptions &options = {}) = 0;
    // The program's jobs, ordered by number.
    virtual Expected<QList<ScheduledJob>> jobs() = 0;
    virtual Result removeJob(quint32 number) = 0;
    // Whether the service that starts the jobs runs on this computer: without it, jobs are kept
    // but never started.
    virtual bool serviceRuns() const = 0;
};

} // namespace quillory
