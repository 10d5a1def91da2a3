#include "platform/cron/crontabscheduler.h"

#include "platform/clock.h"
#include "platform/cron/crontabtable.h"
#include "platform/cron/jobfile.h"
#include "platform/jobcommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
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

CrontabScheduler::CrontabScheduler(QList<EnvironmentVariable> environment, QString jobFolder,
                                   QString user)
    : m_environment(std::move(environment)), m_jobFolder(std::move(jobFolder)),
      m_user(std::move(user))
{
}

QString CrontabScheduler::jobFilePath(quint32 number) const
{
    return QDir(m_jobFolder).absoluteFilePath(QStringLiteral("job-%1").arg(number));
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

// Jobs of the older form hold their password in the crontab line. Whenever the table is written
// anyway, each of them gets its job file and a line of the current form. Returns the job files
// written.
QStringList CrontabScheduler::moveArgumentsToJobFiles(CrontabTable &table) const
{
    const QList<CrontabJob> jobs = table.jobs();
    QMap<quint32, int> uses;
    for (const CrontabJob &job : jobs)
        ++uses[job.scheduled.number];
    QStringList written;
    for (CrontabJob job : jobs) {
        // A job copied by hand under the same number would share the file.
        if (!job.scheduled.jobFile.isEmpty() || uses.value(job.scheduled.number) != 1)
            continue;
        job.scheduled.jobFile = jobFilePath(job.scheduled.number);
        const Expected<QByteArray> line = composeCrontabEntry(job);
        if (!line || !writeJobFile(job.scheduled.jobFile,
                                   splitJobCommand(job.scheduled.job.Command)->arguments))
            continue;
        written.append(job.scheduled.jobFile);
        table.replace(job.scheduled.number, *line);
    }
    return written;
}

Result CrontabScheduler::writeTable(CrontabTable table) const
{
    const QStringList jobFiles = moveArgumentsToJobFiles(table);
    const Expected<CrontabRun> run = runCrontab(arguments(QStringLiteral("-")), table.text());
    if (!run || run->exitCode != 0) {
        for (const QString &jobFile : jobFiles)
            QFile::remove(jobFile);
    }
    if (!run)
        return run.result();
    if (run->exitCode != 0)
        return Result::failure(
            QStringLiteral("The crontab could not be written: %1").arg(run->errors));
    return Result::success();
}

Expected<quint32> CrontabScheduler::NetScheduleJobAdd(const AT_INFO &job, const JobOptions &options)
{
    Expected<CrontabTable> table = readTable();
    if (!table)
        return table.result();
    const quint32 number = table->nextJobNumber();
    CrontabJob entry{
        {number, job, QDate(), jobFilePath(number), QString(), options.settings, options.catchUp},
        m_environment};
    if (job.DaysOfWeek == 0)
        entry.scheduled.runsOnceOn = nextRunDate(job.JobTime, clockNow());
    const Expected<QByteArray> line = composeCrontabEntry(entry);
    if (!line)
        return line.result();
    QMap<QString, QString> settings = options.settings;
    putSchedule(settings, entry.scheduled);
    if (const Result kept = writeJobFile(entry.scheduled.jobFile,
                                         splitJobCommand(job.Command)->arguments, settings);
        !kept)
        return kept;
    // What an earlier job of that number recorded is not this one's.
    QFile::remove(outcomeRecordPath(entry.scheduled.jobFile));
    table.value().insert(number, *line,
                         options.catchUp ? composeCatchUpEntries(entry) : QList<QByteArray>());
    if (const Result written = writeTable(*table); !written) {
        QFile::remove(entry.scheduled.jobFile);
        return written;
    }
    return number;
}

ScheduledJob CrontabScheduler::withArguments(ScheduledJob scheduled) const
{
    QStringList problems;
    const JobCommand command = *splitJobCommand(scheduled.job.Command);
    if (!QFileInfo(command.program).isExecutable())
        problems.append(QStringLiteral("The program %1 is missing.").arg(command.program));
    if (!scheduled.jobFile.isEmpty()) {
        const Expected<JobFileContents> contents = readJobFile(scheduled.jobFile);
        if (contents) {
            scheduled.job.Command = joinJobCommand({command.program, contents->arguments});
            scheduled.settings = contents->settings;
        } else if (!QFileInfo::exists(scheduled.jobFile))
            problems.append(QStringLiteral("The job file %1 is missing.").arg(scheduled.jobFile));
        else
            problems.append(contents.message());
    }
    scheduled.problem = problems.join(QLatin1Char(' '));
    return scheduled;
}

Expected<QList<ScheduledJob>> CrontabScheduler::jobs()
{
    const Expected<CrontabTable> table = readTable();
    if (!table)
        return table.result();
    QList<ScheduledJob> found;
    for (const CrontabJob &job : table->jobs())
        found.append(withArguments(job.scheduled));
    return found;
}

Result CrontabScheduler::removeJob(quint32 number)
{
    Expected<CrontabTable> table = readTable();
    if (!table)
        return table.result();
    QString jobFile;
    for (const CrontabJob &job : table->jobs())
        if (job.scheduled.number == number && jobFile.isEmpty())
            jobFile = job.scheduled.jobFile;
    if (!table.value().remove(number))
        return Result::failure(QStringLiteral("There is no scheduled job %1.").arg(number));
    if (const Result written = writeTable(*table); !written)
        return written;
    // Only the job's own file: a line edited by hand may name any file of the user's.
    if (jobFile != jobFilePath(number))
        return Result::success();
    QFile::remove(outcomeRecordPath(jobFile));
    if (QFileInfo::exists(jobFile) && !QFile::remove(jobFile))
        return Result::failure(
            QStringLiteral("Job %1 was removed, but its file %2 could not be deleted; it holds "
                           "the job's password.")
                .arg(number)
                .arg(jobFile));
    return Result::success();
}

bool CrontabScheduler::serviceRuns() const
{
    return cronServiceRuns(m_probe);
}

} // namespace quillory
