#include "platform/cron/crontabscheduler.h"
#include "schedule/filljobinfo.h"
#include "support/testsupport.h"
#include "throwawayuser.h"

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
quint32 added(JobScheduler &jobs, const AT_INFO &job)
{
    const Expected<quint32> number = jobs.NetScheduleJobAdd(job);
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

// Works on the crontab of a throwaway system user made for the run, so that no real user's
// table is ever at stake, even when a test stops half-way.
class CrontabSchedulerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::ThrowawayUser> m_user;

    QByteArray table() const { return m_user->crontab(); }
    bool install(const QByteArray &text) const { return m_user->installCrontab(text); }
    CrontabScheduler scheduler() const
    {
        return CrontabScheduler(
            {{QStringLiteral("WINEPREFIX"), QStringLiteral("/home/anna/.wine")}}, m_user->name());
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_user = std::make_unique<test::ThrowawayUser>();
        if (!m_user->isValid())
            QSKIP(qPrintable(m_user->problem()));
    }

    void cleanupTestCase() { m_user.reset(); }

    void init() { m_user->removeCrontab(); }

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
        QVERIFY(table().startsWith("# quillory job 1\n0 9 * * 1,3,5 WINEPREFIX='/home/anna/.wine' "
                                   "'/usr/bin/brevnor' 'sf=annaxm=1000000000ps=bf=/home/anna/"
                                   "mail.wlm'\n# quillory job 2\n30 14 * * * "));

        QVERIFY(jobs.removeJob(2).ok());
        QCOMPARE(numbersOf(jobs.jobs()), QList<quint32>({1, 3}));
        QCOMPARE(added(jobs, daily), 4u);
        QVERIFY(jobs.removeJob(3).ok());
        QCOMPARE(numbersOf(jobs.jobs()), QList<quint32>({1, 4}));
        QVERIFY(!jobs.removeJob(3).ok());
        QCOMPARE(added(jobs, weekly), 5u);
        for (quint32 number : {1u, 4u, 5u})
            QVERIFY(jobs.removeJob(number).ok());
        QVERIFY(numbersOf(jobs.jobs()).isEmpty());
        QCOMPARE(table(), QByteArray());
    }

    void leavesOtherEntriesByteForByte()
    {
        QVERIFY(install(otherPrograms));
        QCOMPARE(table(), otherPrograms);
        CrontabScheduler jobs = scheduler();
        // The marker of job 9 no longer heads an entry of ours: its number stays taken.
        QCOMPARE(added(jobs, backupJob(QStringLiteral("9:00"), QStringLiteral("M"))), 10u);
        QCOMPARE(added(jobs, backupJob(QStringLiteral("9:30"), QStringLiteral("T"))), 11u);
        const QList<QByteArray> lines = table().split('\n');
        QCOMPARE(lines.size(), otherPrograms.count('\n') + 5);
        // Above the variable lines, which would otherwise apply to the jobs.
        QCOMPARE(lines.at(0), QByteArray("# quillory job 10"));
        QCOMPARE(lines.at(2), QByteArray("# quillory job 11"));
        QVERIFY(table().endsWith(otherPrograms));
        QCOMPARE(numbersOf(jobs.jobs()), QList<quint32>({10, 11}));
        QVERIFY(!jobs.removeJob(9).ok());

        QVERIFY(jobs.removeJob(11).ok());
        QVERIFY(jobs.removeJob(10).ok());
        QCOMPARE(table(), otherPrograms);

        // A job the user moved between other lines leaves them as they were when removed.
        QCOMPARE(added(jobs, backupJob(QStringLiteral("9:00"), QStringLiteral("M"))), 10u);
        const QByteArray job = table().left(table().size() - otherPrograms.size());
        const qsizetype middle = otherPrograms.indexOf("\n\n") + 1;
        QVERIFY(install(otherPrograms.left(middle) + job + otherPrograms.mid(middle)));
        QCOMPARE(numbersOf(jobs.jobs()), QList<quint32>({10}));
        QVERIFY(jobs.removeJob(10).ok());
        QCOMPARE(table(), otherPrograms);
    }

    void jobRefusedByCrontabLeavesTheTableAsItWas()
    {
        QVERIFY(install(otherPrograms));
        CrontabScheduler jobs = scheduler();
        const QString longPath = QStringLiteral("/home/anna/") + QString(1200, QLatin1Char('a'));
        const Expected<quint32> tooLong = jobs.NetScheduleJobAdd(
            backupJob(QStringLiteral("9:00"), QStringLiteral("M"), longPath));
        QVERIFY(!tooLong.ok());
        QVERIFY2(tooLong.message().contains(QLatin1String("could not be written")),
                 qPrintable(tooLong.message()));
        QCOMPARE(table(), otherPrograms);
    }

    void failsPlainlyWhenCrontabRefusesTheUser()
    {
        CrontabScheduler jobs({}, QStringLiteral("qlry-no-such-user"));
        const Expected<QList<ScheduledJob>> listed = jobs.jobs();
        QVERIFY(!listed.ok());
        QVERIFY(listed.message().startsWith(QLatin1String("The crontab could not be read: ")));
        QVERIFY(!jobs.NetScheduleJobAdd(backupJob(QStringLiteral("9:00"), QString())).ok());
        QVERIFY(!jobs.removeJob(1).ok());
    }
};

QUILLORY_TEST(CrontabSchedulerTest)
#include "tst_crontabscheduler.moc"
