#include "schedule/runtimes.h"

namespace quillory {

namespace {

QDateTime runOn(const ScheduledJob &job, const QDate &day)
{
    return QDateTime(day, QTime::fromMSecsSinceStartOfDay(int(job.job.JobTime)));
}

bool runsOn(const ScheduledJob &job, const QDate &day)
{
    if (job.job.DaysOfWeek == 0)
        return day == job.runsOnceOn;
    // dayOfWeek counts from Monday = 1; the record from Monday = bit 0.
    return job.job.DaysOfWeek & (1u << (day.dayOfWeek() - 1));
}

} // namespace

QDateTime lastScheduledRun(const ScheduledJob &job, const QDateTime &now)
{
    // A week back holds every week day once more.
    for (int back = 0; back <= 7; ++back) {
        const QDate day = now.date().addDays(-back);
        if (runsOn(job, day) && runOn(job, day) <= now)
            return runOn(job, day);
    }
    if (job.job.DaysOfWeek == 0 && job.runsOnceOn.isValid() && runOn(job, job.runsOnceOn) <= now)
        return runOn(job, job.runsOnceOn);
    return QDateTime();
}

QDateTime nextScheduledRun(const ScheduledJob &job, const QDateTime &now)
{
    for (int ahead = 0; ahead <= 7; ++ahead) {
        const QDate day = now.date().addDays(ahead);
        if (runsOn(job, day) && runOn(job, day) > now)
            return runOn(job, day);
    }
    if (job.job.DaysOfWeek == 0 && job.runsOnceOn.isValid() && runOn(job, job.runsOnceOn) > now)
        return runOn(job, job.runsOnceOn);
    return QDateTime();
}

bool runIsMissed(const ScheduledJob &job, const QDateTime &since, const QDateTime &now)
{
    const QDateTime last = lastScheduledRun(job, now);
    return last.isValid() && since.isValid() && last > since;
}

} // namespace quillory
