#include "schedule/daylist.h"
#include "schedule/filljobinfo.h"
#include "schedule/scheduledbackup.h"
#include "schedule/starttime.h"
#include "schedule/unattendedrunenvironment.h"
#include "support/itemflags.h"
#include "support/testsupport.h"

#include <QTest>

using namespace quillory;
using namespace quillory::test;

namespace {

JobRequest annasRequest()
{
    JobRequest request;
    request.startTime = QStringLiteral("9:00");
    request.DayList = QStringLiteral("M,W,F");
    request.items = itemsOf(QStringLiteral("1000010000"));
    request.LogonUserName = QStringLiteral("anna");
    request.BackupFileName = QStringLiteral("/home/anna/Backup/mail.wlm");
    request.programPath = QStringLiteral("/opt/quillory/bin/brevnor");
    return request;
}

} // namespace

class JobRecordTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startTimeListHoldsEveryHalfHour()
    {
        const QStringList times = startTimeList();
        QCOMPARE(times.size(), 48);
        QCOMPARE(times.first(), QStringLiteral("0:00"));
        QCOMPARE(times.at(19), QStringLiteral("9:30"));
        QCOMPARE(times.last(), QStringLiteral("23:30"));
        QVERIFY(times.contains(defaultStartTime));
    }

    void fillsTheRecord_data()
    {
        QTest::addColumn<QString>("startTime");
        QTest::addColumn<QString>("dayList");
        QTest::addColumn<quint32>("jobTime");
        QTest::addColumn<quint8>("daysOfWeek");
        QTest::newRow("9:00 Monday Wednesday Friday") << "9:00"
                                                      << "M,W,F" << 32400000u << quint8(21);
        QTest::newRow("14:30 all days")
            << "14:30" << buildDayList({1, 1, 1, 1, 1, 1, 1}) << 52200000u << quint8(127);
        QTest::newRow("7:45 typed, no day") << "7:45"
                                            << "" << 27900000u << quint8(0);
        QTest::newRow("two-digit hour, blanks around") << " 09:05 "
                                                       << "SU" << 32700000u << quint8(64);
        QTest::newRow("last minute of the day") << "23:59"
                                                << "TH" << 86340000u << quint8(8);
    }

    void fillsTheRecord()
    {
        QFETCH(QString, startTime);
        QFETCH(QString, dayList);
        QFETCH(quint32, jobTime);
        QFETCH(quint8, daysOfWeek);
        JobRequest request = annasRequest();
        request.startTime = startTime;
        request.DayList = dayList;
        const Expected<AT_INFO> job = FillJobInfo(request);
        QVERIFY2(job.ok(), qPrintable(job.message()));
        QCOMPARE(job->JobTime, jobTime);
        QCOMPARE(job->DaysOfWeek, daysOfWeek);
        QCOMPARE(job->DaysOfMonth, 0u);
        QCOMPARE(job->Flags, quint8(1));
        QCOMPARE(job->Command,
                 QStringLiteral("\"/opt/quillory/bin/brevnor\" "
                                "sf=annaxm=1000010000ps=bf=/home/anna/Backup/mail.wlm"));
    }

    void dayListCodesAndOrder()
    {
        QCOMPARE(buildDayList({1, 1, 1, 1, 1, 1, 1}), QStringLiteral("M,T,W,TH,F,S,SU"));
        QCOMPARE(buildDayList({1, 0, 0, 0, 0, 0, 1}), QStringLiteral("M,SU"));
        QCOMPARE(buildDayList({0, 0, 0, 1, 0, 1, 0}), QStringLiteral("TH,S"));
        QCOMPARE(buildDayList({}), QString());
        // "T" and "S" must not be read out of "TH" and "SU".
        QCOMPARE(daysOfWeekFromDayList(QStringLiteral("TH,SU")), quint8(8 | 64));
        QCOMPARE(daysOfWeekFromDayList(QStringLiteral("t,s")), quint8(2 | 32));
        QCOMPARE(daysOfWeekFromDayList(QStringLiteral("M,M")), quint8(1));
        QCOMPARE(daysOfWeekFromDayList(QStringLiteral("X,,W")), quint8(4));
        for (int days = 0; days < 128; ++days)
            QCOMPARE(daysOfWeekFromDayList(dayListFromDaysOfWeek(quint8(days))), quint8(days));
    }

    void refusesWhatIsNoTimeOfDayOrCannotBeCarried()
    {
        const auto refusal = [](auto change) {
            JobRequest request = annasRequest();
            change(request);
            const Expected<AT_INFO> job = FillJobInfo(request);
            return job.ok() ? QString() : job.message();
        };
        for (const char *time : {"25:00", "24:00", "9:75", "9:60", "abc", "", "9", ":30",
                                 "9:", "-1:00", "9:00 PM", "9.30", "123:00", "9:00:00"}) {
            const QString message =
                refusal([time](JobRequest &r) { r.startTime = QString::fromLatin1(time); });
            QVERIFY2(message.contains(QLatin1String("is not a time of day")), time);
        }
        // The unattended run cuts its argument text at every "=".
        QVERIFY(refusal([](JobRequest &r) {
                    r.password = QStringLiteral("pass=word");
                }).contains(QLatin1String("password")));
        QVERIFY(refusal([](JobRequest &r) {
                    r.BackupFileName = QStringLiteral("/a=b/m.wlm");
                }).contains(QLatin1String("file name")));
        QVERIFY(refusal([](JobRequest &r) {
                    r.LogonUserName = QStringLiteral("an=na");
                }).contains(QLatin1String("user name")));
        QVERIFY(refusal([](JobRequest &r) {
                    r.programPath = QStringLiteral("/o/\"q\"/brevnor");
                }).contains(QLatin1String("path")));
    }

    void describesJobsForTheListOfScheduledBackups()
    {
        JobRequest request = annasRequest();
        request.startTime = QStringLiteral("14:30");
        request.password = QStringLiteral("pw");
        const Expected<AT_INFO> job = FillJobInfo(request);
        QVERIFY(job.ok());
        const Expected<ScheduledBackup> weekly =
            describeScheduledBackup({7, *job, QDate(), {}, {}});
        QVERIFY2(weekly.ok(), qPrintable(weekly.message()));
        QCOMPARE(weekly->jobNumber, 7u);
        QCOMPARE(weekly->startTime, QStringLiteral("14:30"));
        QCOMPARE(weekly->DayList, QStringLiteral("M,W,F"));
        QVERIFY(!weekly->runsOnceOn.isValid());
        QCOMPARE(weekly->items, request.items);
        QCOMPARE(weekly->archivePath, request.BackupFileName);

        AT_INFO onceJob = *job;
        onceJob.JobTime = 7 * 3600000 + 5 * 60000;
        onceJob.DaysOfWeek = 0;
        const Expected<ScheduledBackup> once =
            describeScheduledBackup({8, onceJob, QDate(2031, 2, 3), {}, {}});
        QVERIFY(once.ok());
        QCOMPARE(once->startTime, QStringLiteral("7:05"));
        QCOMPARE(once->DayList, QString());
        QCOMPARE(once->runsOnceOn, QDate(2031, 2, 3));

        AT_INFO other = *job;
        other.Command = QStringLiteral("\"/usr/bin/true\" --quiet");
        QVERIFY(!describeScheduledBackup({9, other, QDate(), {}, {}}).ok());
    }

    void unattendedRunGetsThePrefixAndTheUsersLocale()
    {
        QProcessEnvironment user;
        user.insert(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
        user.insert(QStringLiteral("LC_TIME"), QStringLiteral("en_GB.UTF-8"));
        user.insert(QStringLiteral("LC_ALL"), QString());
        user.insert(QStringLiteral("DISPLAY"), QStringLiteral(":0"));
        const QList<EnvironmentVariable> expected = {
            {QStringLiteral("WINEPREFIX"), QStringLiteral("/home/anna/.wine")},
            {QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8")},
            {QStringLiteral("LC_TIME"), QStringLiteral("en_GB.UTF-8")}};
        QCOMPARE(unattendedRunEnvironment(QStringLiteral("/home/anna/.wine"), user), expected);

        const QList<EnvironmentVariable> bare =
            unattendedRunEnvironment(QStringLiteral("/p"), QProcessEnvironment());
        QCOMPARE(bare.size(), 2);
        QCOMPARE(bare.at(1).value, QStringLiteral("C.UTF-8"));
    }
};

QUILLORY_TEST(JobRecordTest)
#include "tst_jobrecord.moc"
