#pragma once

#include "platform/jobscheduler.h"

#include <QDateTime>

namespace quillory {

// A job's scheduled times, in local time: its start time on each of its week days, or once on
// the day it runs once.
QDateTime lastScheduledRun(const ScheduledJob &job, const QDateTime &now); // at or before now
QDateTime nextScheduledRun(const ScheduledJob &job, const QDateTime &now); // after now
// Whether one of the job's scheduled times has passed after `since` (the start of its last
// complete run, or when the job was made) and up to `now`; without `since` none has.
bool runIsMissed(const ScheduledJob &job, const QDateTime &since, const QDateTime &now);

} // namespace quillory
