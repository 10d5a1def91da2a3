#include "platform/cron/crontabscheduler.h"
#include "platform/jobcommand.h"
#include "schedule/filljobinfo.h"
#include "support/testsupport.h"
#include "testcrontab.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace quillory;

namespace {

AT_INFO backupJob(const QString &startTime, const QString &dayList,
                  const QString &archive = QStringLiteral("/home/anna/mail.wlm"))
{
    JobRequest request;
    request.startTime = startTime;
    request.DayList = dayList;
    request.items[ItemMailAccounts] = true;
    request.LogonUserName = QStringLiteral("anna");
    request.BackupFileName = archive;
    request.programPath = QStringLiteral("/usr/bin/brevnor");
    return *FillJobInfo(request);
}

// Job numbers start at 1: a 0 stands for a failure, whose message goes to the test's log.
quint32 added(JobScheduler &jobs, const AT_INFO &job, const JobOptions &options = {})
{
    const Expected<quint32> number = jobs.NetScheduleJobAdd(job, options);
    if (!number)
        qWarning() << number.message();
    return number.ok() ? *number : 0;
}

QList<quint32> numbersOf(const Expected<QList<ScheduledJob>> &jobs)
{
    if (!jobs) {
        qWarning() << jobs.message();
        return {0};
    }
    QList<quint32> numbers;
    for (const ScheduledJob &job : *jobs)
        numbers.append(job.number);
    return numbers;
}

const QByteArray otherPrograms = "# m h dom mon dow command\n"
                                 "SHELL=/bin/bash\n"
                                 "MAILTO=\"\"\n"
                                 "\n"
                                 "\n"
                                 "*/5 * * * * /usr/bin/other-backup --quiet >/dev/null 2>&1   \n"
                                 "0 3 * * * echo \"Gr\xc3\xbc\xc3\x9f"
                                 "e\" | mail -s 'a \\% b' root%x%\n"
                                 "# quillory job 9\n"
                                 "15 2 * * * /usr/local/bin/edited-by-hand\n"
                                 "\t# indented comment\n";

} // namespace

// Works on a crontab that holds no real user's jobs (see TestCrontab), and keeps the job files
// in a scratch folder.
class CrontabSchedulerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TestCrontab> m_user;
    std::unique_ptr<QTemporaryDir> m_config;

    QByteArray table() const { return m_user->crontab(); }
    bool install(const QByteArray &text) const { return m_user->installCrontab(text); }
    QString jobFolder() const { return m_config->filePath(QStringLiteral("quillory/jobs")); }
    CrontabScheduler scheduler(const QString &prefix = QStringLiteral("/home/anna/.wine")) const
    {
        return CrontabScheduler({{QStringLiteral("WINEPREFIX"), prefix}}, jobFolder(),
                                m_user->name());
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_user = std::make_unique<test::TestCrontab>();
        QVERIFY2(m_user->isValid(), qPrintable(m_user->problem()));
    }

    void cleanupTestCase() { m_user.reset(); }

    void init()
    {
        m_user->removeCrontab();
        m_config = std::make_unique<QTemporaryDir>();
    }

    void addsListsAndRemovesJobs()
    {
        CrontabScheduler jobs = scheduler();
        // "no crontab for …" is an empty table, not a failure.
        QVERIFY(numbersOf(jobs.jobs()).isEmpty());
        QCOMPARE(jobs.removeJob(1).message(), QStringLiteral("There is no scheduled job 1."));

        const AT_INFO weekly = backupJob(QStringLiteral("9:00"), QStringLiteral("M,W,F"));
        const AT_INFO daily = backupJob(QStringLiteral("14:30"), QStringLiteral("M,T,W,TH,F,S,SU"));
        const AT_INFO once = backupJob(QStringLiteral("7:45"), QString(),
                                       QStringLiteral("/home/anna/Mail Backup/100% sure.wlm"));
        QCOMPARE(added(jobs, weekly), 1u);
        QCOMPARE(added(jobs, daily), 2u);
        const QDate today = QDate::currentDate();
        QCOMPARE(added(jobs, once), 3u);

        const Expected<QList<ScheduledJob>> listed = jobs.jobs();
        QVERIFY(listed.ok());
        QCOMPARE(numbersOf(listed), QList<quint32>({1, 2, 3}));
        QVERIFY(listed->at(0).job == weekly);
        QVERIFY(listed->at(1).job == daily);
        QVERIFY(listed->at(2).job == once);
        QVERIFY(!listed->at(0).runsOnceOn.isValid());
        QVERIFY(listed->at(2).runsOnceOn == today || listed->at(2).runsOnceOn == today.addDays(1));
        const QString jobFile = jobs.jobFilePath(1);
        QCOMPARE(listed->at(0).jobFile, jobFile);
        QVERIFY(listed->at(0).problem.contains(QLatin1String("/usr/bin/brevnor is missing")));
        QVERIFY(table().startsWith("# quillory job 1\n0 9 * * 1,3,5 WINEPREFIX='/home/anna/.wine' "
                                   "exec '/usr/bin/brevnor' --job '" +
                                   jobFile.toUtf8() + "'\n# quillory job 2\n30 14 * * * "));
        // Only the owner may read the password, and only the owner may enter the folder.
        QCOMPARE(test::readFile(jobFile),
                 QByteArray("sf=annaxm=1000000000ps=bf=/home/anna/mail.wlm\nDaysOfWeek=21\n"
                            "JobTime=32400000\n"));
        QCOMPARE(QFileInfo(jobFile).permissions(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(QFileInfo(jobFolder()).permissions(), QFile::ReadOwner | QFile::WriteOwner |
                                                           QFile::ExeOwner | QFile::ReadUser |
                                                           QFile::WriteUser | QFile::ExeUser);

        // Numbers freed by removed jobs are taken again, lowest first, with fresh job files.
        QVERIFY(jobs.removeJob(2).ok());
        QVERIFY(!QFileInfo::exists(jobs.jobFilePath(2)));
        QCOMPARE(numbersOf(jobs.jobs()), QList<quint32>({1, 3}));
        QCOMPARE(added(jobs, daily), 2u);
        QVERIFY(jobs.removeJob(3).ok());
        QCOMPARE(numbersOf(jobs.jobs()), QList<quint32>({1, 2}));
        QVERIFY(!jobs.removeJob(3).ok());
        QCOMPARE(added(jobs, weekly), 3u);
        for (quint32 number : {1u, 2u, 3u})
            QVERIFY(jobs.removeJob(number).ok());
        QVERIFY(numbersOf(jobs.jobs()).isEmpty());
        QCOMPARE(table(), QByteArray());
        QCOMPARE(QDir(jobFolder()).entryList(QDir::Files), QStringList());
    }

    // A job that makes up missed runs has its two entries with --if-missed right after its own,
    // written and removed with it; its settings go to its job file, and its record goes with it.
    void catchUpEntriesComeAndGoWithTheJob()
    {
        CrontabScheduler jobs = scheduler();
        const JobOptions catchUp{{{QStringLiteral("keep"), QStringLiteral("3")}}, true};
        QCOMPARE(added(jobs, backupJob(QStringLiteral("9:15"), QStringLiteral("M")), catchUp), 1u);
        QCOMPARE(added(jobs, backupJob(QStringLiteral("9:15"), QStringLiteral("M"))), 2u);
        const QByteArray command = "WINEPREFIX='/home/anna/.wine' exec '/usr/bin/brevnor' --job '" +
                                   jobs.jobFilePath(1).toUtf8() + "'";
        QVERIFY(table().startsWith("# quillory job 1\n15 9 * * 1 " + command + "\n@reboot " +
                                   command + " --if-missed\n45 * * * * " + command +
                                   " --if-missed\n# quillory job 2\n"));
        const Expected<QList<ScheduledJob>> listed = jobs.jobs();
        QCOMPARE(numbersOf(listed), QList<quint32>({1, 2}));
        QVERIFY(listed->at(0).catchesUp);
        QVERIFY(!listed->at(1).catchesUp);
        QCOMPARE(listed->at(0).settings.value(QStringLiteral("keep")), QStringLiteral("3"));
        QVERIFY(!listed->at(1).settings.contains(QStringLiteral("keep")));

        QVERIFY(test::writeFile(jobs.jobFilePath(1) + QStringLiteral(".last"), "{}"));
        QVERIFY(jobs.removeJob(1).ok());
        QVERIFY(!table().contains("--if-missed"));
        QVERIFY(!QFileInfo::exists(jobs.jobFilePath(1) + QStringLiteral(".last")));
        QCOMPARE(numbersOf(jobs.jobs()), QList<quint32>({2}));
    }

    void marksJobsThatCannotRun()
    {
        QTemporaryDir bin;
        const QString program = bin.filePath(QStringLiteral("brevnor"));
        QVERIFY(test::writeFile(program, "#!/bin/sh\n"));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
        AT_INFO job = backupJob(QStringLiteral("9:00"), QStringLiteral("M"));
        job.Command = joinJobCommand({program, splitJobCommand(job.Command)->arguments});
        CrontabScheduler jobs = scheduler();
        QCOMPARE(added(jobs, job), 1u);
        QCOMPARE(added(jobs, job), 2u);
        QVERIFY(QFile::remove(jobs.jobFilePath(2)));
        const Expected<QList<ScheduledJob>> listed = jobs.jobs();
        QCOMPARE(numbersOf(listed), QList<quint32>({1, 2}));
        QCOMPARE(listed->at(0).problem, QString());
        QVERIFY(listed->at(0).job == job);
        QCOMPARE(listed->at(1).problem,
                 QStringLiteral("The job file %1 is missing.").arg(jobs.jobFilePath(2)));

        QVERIFY(QFile::remove(program));
        QCOMPARE(jobs.jobs()->at(0).problem,
                 QStringLiteral("The program %1 is missing.").arg(program));
        // A damaged job can still be deleted.
        QVERIFY(jobs.removeJob(2).ok());
        QCOMPARE(numbersOf(jobs.jobs()), QList<quint32>({1}));
    }

    void listsDeletesAndUpgradesJobsOfTheOlderForm()
    {
        const QByteArray older = "# quillory job 4\n"
                                 "0 9 * * 1 WINEPREFIX='/home/anna/.wine' '/usr/bin/brevnor' "
                                 "'sf=annaxm=1000000000ps=s3cretbf=/home/anna/mail.wlm'\n";
        const QString command = QStringLiteral(
            "\"/usr/bin/brevnor\" sf=annaxm=1000000000ps=s3cretbf=/home/anna/mail.wlm");
        QVERIFY(install(older));
        CrontabScheduler jobs = scheduler();
        Expected<QList<ScheduledJob>> listed = jobs.jobs();
        QCOMPARE(numbersOf(listed), QList<quint32>({4}));
        QCOMPARE(listed->at(0).job.Command, command);
        QVERIFY(listed->at(0).jobFile.isEmpty());
        QVERIFY(jobs.removeJob(4).ok());
        QCOMPARE(table(), QByteArray());

        // Once the program writes the table, the password moves into a job file.
        QVERIFY(install(older));
        QCOMPARE(added(jobs, backupJob(QStringLiteral("9:00"), QStringLiteral("M"))), 1u);
        QVERIFY2(!table().contains("s3cret"), table().constData());
        listed = jobs.jobs();
        QCOMPARE(numbersOf(listed), QList<quint32>({1, 4}));
        QCOMPARE(listed->at(1).job.Command, command);
        QCOMPARE(listed->at(1).jobFile, jobs.jobFilePath(4));
        QVERIFY(jobs.removeJob(4).ok());
        QVERIFY(!QFileInfo::exists(jobs.jobFilePath(4)));
    }

    // A marker with the highest number a marker can hold must not hide the jobs added after it.
    void takesTheLowestFreeNumber()
    {
        const QByteArray highest = "# quillory job 999999999\n15 2 * * * /usr/bin/edited\n";
        QVERIFY(install(highest));
        CrontabScheduler jobs = scheduler();
        QCOMPARE(added(jobs, backupJob(QStringLiteral("9:00"), QStringLiteral("M"))), 1u);
        QCOMPARE(added(jobs, backupJob(QStringLiteral("9:00"), QStringLiteral("T"))), 2u);
        QCOMPARE(numbersOf(jobs.jobs()), QList<quint32>({1, 2}));
        QVERIFY(table().startsWith(highest));
    }

    void leavesOtherEntriesByteForByte()
    {
        QVERIFY(install(otherPrograms));
        QCOMPARE(table(), otherPrograms);
        CrontabScheduler jobs = scheduler();
        // The marker of job 9 no longer heads an entry of ours: its number stays taken.
        QCOMPARE(added(jobs, backupJob(QStringLiteral("9:00"), QStringLiteral("M"))), 1u);
        QCOMPARE(added(jobs, backupJob(QStringLiteral("9:30"), QStringLiteral("T"))), 2u);
        const QList<QByteArray> lines = table().split('\n');
        QCOMPARE(lines.size(), otherPrograms.count('\n') + 5);
        // After the user's MAILTO= line, which applies to them as to the user's own entries.
        QVERIFY(table().startsWith(otherPrograms));
        QCOMPARE(lines.at(lines.size() - 5), QByteArray("# quillory job 1"));
        QCOMPARE(lines.at(lines.size() - 3), QByteArray("# quillory job 2"));
        QCOMPARE(numbersOf(jobs.jobs()), QList<quint32>({1, 2}));
        QVERIFY(!jobs.removeJob(9).ok());

        QVERIFY(jobs.removeJob(2).ok());
        QVERIFY(jobs.removeJob(1).ok());
        QCOMPARE(table(), otherPrograms);

        // A job the user moved between other lines leaves them as they were when removed.
        QCOMPARE(added(jobs, backupJob(QStringLiteral("9:00"), QStringLiteral("M"))), 1u);
        const QByteArray job = table().mid(otherPrograms.size());
        const qsizetype middle = otherPrograms.indexOf("\n\n") + 1;
        QVERIFY(install(otherPrograms.left(middle) + job + otherPrograms.mid(middle)));
        QCOMPARE(numbersOf(jobs.jobs()), QList<quint32>({1}));
        QVERIFY(jobs.removeJob(1).ok());
        QCOMPARE(table(), otherPrograms);
    }

    void jobRefusedByCrontabLeavesTheTableAsItWas()
    {
        QVERIFY(install(otherPrograms));
        // The line names the job file, so a long archive path no longer makes it too long.
        const QString longPath = QStringLiteral("/home/anna/") + QString(1200, QLatin1Char('a'));
        CrontabScheduler jobs = scheduler();
        QCOMPARE(added(jobs, backupJob(QStringLiteral("9:00"), QStringLiteral("M"), longPath)), 1u);
        QVERIFY(jobs.jobs()->at(0).job.Command.endsWith(longPath));
        QVERIFY(jobs.removeJob(1).ok());

        // A Wine prefix path still can.
        CrontabScheduler longPrefix = scheduler(longPath);
        const Expected<quint32> tooLong =
            longPrefix.NetScheduleJobAdd(backupJob(QStringLiteral("9:00"), QStringLiteral("M")));
        QVERIFY(!tooLong.ok());
        QVERIFY2(tooLong.message().contains(QLatin1String("could not be written")),
                 qPrintable(tooLong.message()));
        QCOMPARE(table(), otherPrograms);
        QCOMPARE(QDir(jobFolder()).entryList(QDir::Files), QStringList());
    }

    void failsPlainlyWhenCrontabRefusesTheUser()
    {
        CrontabScheduler jobs({}, jobFolder(), QStringLiteral("qlry-no-such-user"));
        const Expected<QList<ScheduledJob>> listed = jobs.jobs();
        QVERIFY(!listed.ok());
        QVERIFY(listed.message().startsWith(QLatin1String("The crontab could not be read: ")));
        QVERIFY(!jobs.NetScheduleJobAdd(backupJob(QStringLiteral("9:00"), QString())).ok());
        QVERIFY(!jobs.removeJob(1).ok());
    }
};

QUILLORY_TEST(CrontabSchedulerTest)
#include "tst_crontabscheduler.moc"
