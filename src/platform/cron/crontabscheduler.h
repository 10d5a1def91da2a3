#pragma once

#include "platform/cron/crontabentry.h"
#include "platform/jobscheduler.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace quillory {

class CrontabTable;

// The job scheduler on a user's crontab, read and replaced through the `crontab` program. The
// table goes through pipes only: its entries hold passwords.
class CrontabScheduler final : public JobScheduler {
public:
    // environment: set on every job's command, since cron starts jobs with little of the
    // user's environment. user: whose crontab, empty for the caller's own (another needs root).
    explicit CrontabScheduler(QList<EnvironmentVariable> environment, QString user = {});

    Expected<quint32> NetScheduleJobAdd(const AT_INFO &job) override;
    Expected<QList<ScheduledJob>> jobs() override;
    Result removeJob(quint32 number) override;

private:
    Expected<CrontabTable> readTable() const;
    Result writeTable(const CrontabTable &table) const;
    QStringList arguments(const QString &action) const;

    QList<EnvironmentVariable> m_environment;
    QString m_user;
};

} // namespace quillory
