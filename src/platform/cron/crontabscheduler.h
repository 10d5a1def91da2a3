#pragma once

#include "platform/cron/cronservice.h"
#include "platform/cron/crontabentry.h"
#include "platform/jobscheduler.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace quillory {

class CrontabTable;

// The job scheduler on a user's crontab, read and replaced through the `crontab` program. Each
// job's argument text, which holds the password, is kept in a job file of its own in
// `jobFolder`; the crontab line names the file.
class CrontabScheduler final : public JobScheduler {
public:
    // environment: set on every job's command, since cron starts jobs with little of the
    // user's environment. user: whose crontab, empty for the caller's own (another needs root).
    CrontabScheduler(QList<EnvironmentVariable> environment, QString jobFolder, QString user = {});

    Expected<quint32> NetScheduleJobAdd(const AT_INFO &job,
                                        const JobOptions &options = {}) override;
    Expected<QList<ScheduledJob>> jobs() override;
    Result removeJob(quint32 number) override;
    bool serviceRuns() const override;

    // Where to look for the cron daemon; the system's places unless set.
    void setServiceProbe(CronServiceProbe probe) { m_probe = std::move(probe); }
    QString jobFilePath(quint32 number) const;

private:
    Expected<CrontabTable> readTable() const;
    Result writeTable(CrontabTable table) const;
    QStringList moveArgumentsToJobFiles(CrontabTable &table) const;
    QStringList arguments(const QString &action) const;
    ScheduledJob withArguments(ScheduledJob scheduled) const;

    QList<EnvironmentVariable> m_environment;
    QString m_jobFolder;
    QString m_user;
    CronServiceProbe m_probe;
};

} // namespace quillory
