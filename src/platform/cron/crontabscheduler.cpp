#include "platform/cron/crontabscheduler.h"

#include "platform/cron/crontabtable.h"

#include <QProcess>

namespace quillory {

namespace {

struct CrontabRun {
    int exitCode = 0;
    QByteArray output;
    QString errors;
};

Expected<CrontabRun> runCrontab(const QStringList &arguments, const QByteArray &input)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // An empty table is told apart from a failure by crontab's English message.
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("crontab"), arguments);
    if (!process.waitForStarted(-1))
        return Result::failure(QStringLiteral("The crontab program could not be started (%1).")
                                   .arg(process.errorString()));
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit)
        return Result::failure(QStringLiteral("The crontab program ended abnormally."));
    return CrontabRun{process.exitCode(), process.readAllStandardOutput(),
                      QString::fromLocal8Bit(process.readAllStandardError()).trimmed()};
}

} // namespace

CrontabScheduler::CrontabScheduler(QList<EnvironmentVariable> environment, QString user)
    : m_environment(std::move(environment)), m_user(std::move(user))
{
}

QStringList CrontabScheduler::arguments(const QString &action) const
{
    if (m_user.isEmpty())
        return {action};
    return {QStringLiteral("-u"), m_user, action};
}

Expected<CrontabTable> CrontabScheduler::readTable() const
{
    const Expected<CrontabRun> run = runCrontab(arguments(QStringLiteral("-l")), {});
    if (!run)
        return run.result();
    if (run->exitCode == 0)
        return CrontabTable(run->output);
    if (run->errors.startsWith(QLatin1String("no crontab for ")))
        return CrontabTable(QByteArray());
    return Result::failure(QStringLiteral("The crontab could not be read: %1").arg(run->errors));
}

Result CrontabScheduler::writeTable(const CrontabTable &table) const
{
    const Expected<CrontabRun> run = runCrontab(arguments(QStringLiteral("-")), table.text());
    if (!run)
        return run.result();
    if (run->exitCode != 0)
        return Result::failure(
            QStringLiteral("The crontab could not be written: %1").arg(run->errors));
    return Result::success();
}

Expected<quint32> CrontabScheduler::NetScheduleJobAdd(const AT_INFO &job)
{
    Expected<CrontabTable> table = readTable();
    if (!table)
        return table.result();
    CrontabJob entry{{table->nextJobNumber(), job, QDate()}, m_environment};
    if (job.DaysOfWeek == 0)
        entry.scheduled.runsOnceOn = nextRunDate(job.JobTime, QDateTime::currentDateTime());
    const Expected<QByteArray> line = composeCrontabEntry(entry);
    if (!line)
        return line.result();
    table.value().insert(entry.scheduled.number, *line);
    if (const Result written = writeTable(*table); !written)
        return written;
    return entry.scheduled.number;
}

Expected<QList<ScheduledJob>> CrontabScheduler::jobs()
{
    const Expected<CrontabTable> table = readTable();
    if (!table)
        return table.result();
    QList<ScheduledJob> found;
    for (const CrontabJob &job : table->jobs())
        found.append(job.scheduled);
    return found;
}

Result CrontabScheduler::removeJob(quint32 number)
{
    Expected<CrontabTable> table = readTable();
    if (!table)
        return table.result();
    if (!table.value().remove(number))
        return Result::failure(QStringLiteral("There is no scheduled job %1.").arg(number));
    return writeTable(*table);
}

} // namespace quillory
