#include "main/jobstart.h"

#include "app/itemtable.h"
#include "app/profilelock.h"
#include "app/programcontext.h"
#include "backup/autobackup.h"
#include "backup/autobackupcommandline.h"
#include "main/unattended.h"
#include "platform/clock.h"
#include "platform/cron/jobfile.h"
#include "platform/desktopnotification.h"
#include "platform/headlessdialogs.h"
#include "platform/heldsecrets.h"
#include "platform/secretfile.h"
#include "platform/wine/wineprefix.h"
#include "schedule/backupjobsettings.h"
#include "schedule/jobrecord.h"
#include "schedule/runtimes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <cstring>

namespace quillory {

namespace {

void say(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

QStringList reportLines(const QStringList &texts)
{
    QStringList lines;
    for (const QString &text : texts)
        for (const QString &line : QString(text)
                                       .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            lines.append(line);
    return lines;
}

JobRun runOf(const AutoBackupReport &report, const QStringList &said)
{
    JobRun run;
    run.exitStatus = report.exitStatus;
    run.archive = report.archivePath;
    run.archiveSize = archiveSizeAfter(report.archivePath, true, report.exitStatus);
    for (int index = 0; index < ItemCount; ++index) {
        if (!report.chosen[index])
            continue;
        const QString label = itemTable()[index].logLabel + QStringLiteral(": ");
        QStringList reasons;
        for (const QString &problem : report.outcome.problems)
            if (problem.startsWith(label))
                reasons.append(problem.mid(label.size()));
        QString result = QStringLiteral("failed");
        // A run that wrote no archive stored nothing.
        if (!report.outcome.archive)
            reasons.append(report.outcome.archive.message());
        else if (report.outcome.stored[index])
            result = reasons.isEmpty() ? QStringLiteral("succeeded") : QStringLiteral("partial");
        run.items.append({itemName(index), result, reasons.join(QLatin1Char('\n'))});
    }
    run.lines = reportLines(said) + reportLines({report.outcome.log});
    return run;
}

JobRecord recordOf(const QString &jobFile)
{
    const Expected<JobRecord> record = readJobRecord(outcomeRecordPath(jobFile));
    if (!record)
        say(record.message());
    return record ? *record : JobRecord();
}

void record(const QString &jobFile, const JobRun &run)
{
    JobRecord record = recordOf(jobFile);
    record.add(run);
    const QString path = outcomeRecordPath(jobFile);
    if (const Result written = writeJobRecord(path, record); !written)
        say(QStringLiteral("The outcome of the job could not be recorded in %1: %2")
                .arg(path, written.message()));
    if (!run.failed() || sessionBusAddress().isEmpty())
        return;
    if (const Result told =
            notifyDesktop(QStringLiteral("Scheduled backup failed"), failureSentence(run));
        !told)
        say(told.message());
}

} // namespace

bool isJobStart(int argc, char *argv[])
{
    return argc >= 2 && std::strcmp(argv[1], "--job") == 0;
}

int runJob(int argc, char *argv[])
{
    const bool ifMissed = argc == 4 && std::strcmp(argv[3], "--if-missed") == 0;
    if (argc != 3 && !ifMissed) {
        std::fputs("Usage: brevnor --job FILE [--if-missed]\n", stderr);
        return AutoBackupExit::NotWritten;
    }
    // Qt is given only the program's path.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    const QString jobFile = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();

    JobRun run;
    run.start = clockNow();
    const auto fail = [&](const QString &why) {
        say(why);
        run.lines = {why};
        run.end = clockNow();
        record(jobFile, run);
        return AutoBackupExit::NotWritten;
    };
    const Expected<JobFileContents> contents = readJobFile(jobFile);
    if (!contents) {
        // The job is gone, removed with its crontab entries a moment ago: a catch-up check says
        // nothing, and records nothing. A job file that is there but cannot be read fails as
        // the job's own run would.
        if (ifMissed && !QFileInfo(jobFile).isSymLink() && !QFileInfo::exists(jobFile))
            return 0;
        return fail(contents.message());
    }
    const Expected<AutoBackupCommand> command = parseAutoBackupCommandLine(contents->arguments);
    if (!command)
        return fail(command.message());
    if (!command->password.isEmpty())
        protectHeldSecrets();
    // As ssh does for keys: said, and the run goes on.
    QStringList warnings;
    if (const QString open = readableByOthers(jobFile, QStringLiteral("The job file"));
        !open.isEmpty()) {
        say(open);
        warnings.append(open);
    }
    const BackupJobSettings settings = BackupJobSettings::from(contents->settings);

    HeadlessDialogs dialogs;
    ProgramContext context(defaultWinePrefix(), dialogs);
    // Taken before the record is looked at: a run in progress records its own outcome, and a
    // catch-up check leaves the profile to it.
    const Expected<ProfileLock> lock = ProfileLock::take(context.prefixPath());
    if (!lock && ifMissed)
        return 0;
    if (ifMissed) {
        const std::optional<ScheduledJob> job = scheduleFrom(contents->settings);
        const JobRecord history = recordOf(jobFile);
        const QDateTime since =
            history.lastComplete.isValid() ? history.lastComplete : settings.created;
        if (!job || !runIsMissed(*job, since, clockNow()))
            return 0;
        run.start = clockNow();
    }
    if (!lock) {
        context.dialogs().message(lock.message(), applicationTitle(), MessageIcon::Error);
        run.lines = reportLines(dialogs.written());
        run.end = clockNow();
        record(jobFile, run);
        return AutoBackupExit::NotWritten;
    }
    const AutoBackupReport report = backUpLocked(context, contents->arguments, settings.keep);
    const QDateTime start = run.start;
    run = runOf(report, dialogs.written());
    run.lines = warnings + run.lines;
    run.start = start;
    run.end = clockNow();
    record(jobFile, run);
    return run.exitStatus;
}

} // namespace quillory
