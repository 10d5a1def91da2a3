#pragma once

#include "platform/jobscheduler.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace quillory {

// A variable set on one job's command line. A crontab variable line would reach every entry
// after it, other programs' entries included.
struct EnvironmentVariable {
    QString name;
    QString value;

    friend bool operator==(const EnvironmentVariable &, const EnvironmentVariable &) = default;
};

// One of the program's jobs in a crontab: a marker line with its number, then its entry.
struct CrontabJob {
    ScheduledJob scheduled;
    QList<EnvironmentVariable> environment;
};

QByteArray crontabMarker(quint32 number);
std::optional<quint32> parseCrontabMarker(QByteArrayView line);

// The entry line, without its line end: the variables, then `exec` of the program with
// `--job` and scheduled.jobFile, which holds the argument text. A job without week days runs on
// scheduled.runsOnceOn. Fails when crontab cannot carry the job as it is.
Expected<QByteArray> composeCrontabEntry(const CrontabJob &job);
// The entries of a job that catches up: at boot and every hour, half an hour off the job's own
// minute so as not to meet its run, the same command with "--if-missed" after the job file.
// Only for a job that composeCrontabEntry writes.
QList<QByteArray> composeCatchUpEntries(const CrontabJob &job);
// Reads back only entries in the form composeCrontabEntry writes, and those of the older form
// that held the argument text itself (scheduled.jobFile empty). Of an entry of the current form
// the command holds the program only; its argument text is in the job file.
std::optional<CrontabJob> parseCrontabEntry(quint32 number, QByteArrayView line);

// The day a job without week days runs: today when its time is still ahead, else tomorrow.
QDate nextRunDate(quint32 jobTime, const QDateTime &now);

} // namespace quillory
