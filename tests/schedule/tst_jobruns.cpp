#include "app/profilelock.h"
#include "platform/cron/jobfile.h"
#include "schedule/jobrecord.h"
#include "support/testsupport.h"

#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::Literals::StringLiterals;

using Settings = QMap<QString, QString>;

namespace {

// Monday and Wednesday at 9:00; 7 December 2026 is a Monday.
const QMap<QString, QString> mondayAndWednesday = {{u"JobTime"_s, u"32400000"_s},
                                                   {u"DaysOfWeek"_s, u"5"_s}};

QDateTime at(const QString &time)
{
    return QDateTime::fromString(time, Qt::ISODate);
}

JobRecord recordOf(const QString &jobFile)
{
    const Expected<JobRecord> record = readJobRecord(outcomeRecordPath(jobFile));
    if (!record)
        qWarning() << record.message();
    return record ? *record : JobRecord();
}

} // namespace

// Takes the desktop's notifications on a private session bus.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList shown;

public Q_SLOTS:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        shown.append(summary + u": "_s + body);
        return uint(shown.size());
    }
};

// The program started as cron starts a scheduled job, `brevnor --job FILE [--if-missed]`, on a
// sample profile, with the program's clock set to the job's times.
class JobRunsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_jobs = 0;

    QString prefix() const { return m_dir.filePath(u"prefix"_s); }
    QString archive() const { return m_dir.filePath(u"archives/mail.wlm"_s); }
    // A job file of its own for each job, as the scheduler makes them.
    QString jobFile(const QString &items, const QMap<QString, QString> &settings,
                    const QString &archivePath = {})
    {
        QDir(m_dir.path()).mkpath(u"archives"_s);
        for (const QString &old : QDir(m_dir.filePath(u"archives"_s)).entryList(QDir::Files))
            QFile::remove(m_dir.filePath(u"archives/"_s + old));
        const QString path = m_dir.filePath(u"jobs/job-%1"_s.arg(++m_jobs));
        const Result written = writeJobFile(
            path,
            u"sf=annaxm=%1ps=bf=%2"_s.arg(items, archivePath.isEmpty() ? archive() : archivePath),
            settings);
        return written ? path : QString();
    }
    QStringList environment(const QString &now) const
    {
        return {u"WINEPREFIX="_s + prefix(), u"QUILLORY_NOW="_s + now,
                u"DBUS_SESSION_BUS_ADDRESS="_s, u"DISPLAY="_s, u"WAYLAND_DISPLAY="_s};
    }
    ProgramRun run(const QString &file, const QString &now, bool ifMissed = false) const
    {
        QStringList arguments = {u"--job"_s, file};
        if (ifMissed)
            arguments.append(u"--if-missed"_s);
        return runProgram(u"brevnor"_s, arguments, environment(now));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(makeSampleProfile(prefix(), {u"--no-contacts"_s})); }

    void recordsEachRunsOutcome_data()
    {
        QTest::addColumn<QString>("items");
        QTest::addColumn<QString>("archivePath");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QStringList>("itemResults");
        QTest::addColumn<bool>("linkPlanted");
        QTest::newRow("good") << u"0100000000"_s << QString() << 0 << u"Completed"_s
                              << QStringList{u"mailrules succeeded"_s} << false;
        // The record replaces its name: a link planted there leads nowhere.
        QTest::newRow("a link at the record's name")
            << u"0100000000"_s << QString() << 0 << u"Completed"_s
            << QStringList{u"mailrules succeeded"_s} << true;
        // The profile has no contacts.
        QTest::newRow("partial") << u"0100010000"_s << QString() << 1
                                 << u"Completed with problems"_s
                                 << QStringList{u"mailrules succeeded"_s, u"contacts failed"_s}
                                 << false;
        QTest::newRow("failed") << u"0100000000"_s << u"/nonexistent/mail.wlm"_s << 2
                                << u"Failed: The backup /nonexistent/mail.wlm was not written: "
                                   "The folder /nonexistent for the archive does not exist."_s
                                << QStringList{u"mailrules failed"_s} << false;
    }

    void recordsEachRunsOutcome()
    {
        QFETCH(QString, items);
        QFETCH(QString, archivePath);
        QFETCH(int, exitStatus);
        QFETCH(QString, result);
        QFETCH(QStringList, itemResults);
        QFETCH(bool, linkPlanted);
        const QString file = jobFile(items, {}, archivePath);
        const QString path = outcomeRecordPath(file);
        const QString victim = m_dir.filePath(u"victim"_s);
        if (linkPlanted)
            QVERIFY(QFile::link(victim, path));
        const ProgramRun ran = run(file, u"2026-12-07T09:00"_s);
        QVERIFY2(ran.exitCode == exitStatus, ran.err.constData());
        if (linkPlanted) {
            QVERIFY(!QFileInfo::exists(victim));
            QVERIFY(!QFileInfo(path).isSymLink());
        }

        QCOMPARE(QFileInfo(path).permissions(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        const JobRecord record = recordOf(file);
        QVERIFY(record.last);
        const JobRun &last = *record.last;
        QVERIFY(last.start >= at(u"2026-12-07T09:00"_s) && last.end >= last.start &&
                last.end < at(u"2026-12-07T09:01"_s));
        QCOMPARE(last.exitStatus, exitStatus);
        QCOMPARE(last.resultText(), result);
        QStringList shownItems;
        for (const JobRun::Item &item : last.items) {
            shownItems.append(item.name + u' ' + item.result);
            QCOMPARE(item.reason.isEmpty(), item.result == u"succeeded"_s);
        }
        QCOMPARE(shownItems, itemResults);
        // What cron mails, then the log.
        QStringList said;
        for (const QString &line : QString::fromUtf8(ran.err).split(u'\n', Qt::SkipEmptyParts))
            said.append(line.section(u": "_s, line.startsWith(u"Quillory: "_s) ? 2 : 0));
        QCOMPARE(last.lines.mid(0, said.size()), said);
        QCOMPARE(last.lines.size() - said.size(), last.failed() ? 0 : itemResults.size());
        if (last.failed()) {
            QCOMPARE(last.archiveSize, -1);
            QVERIFY(record.lastFailure && !record.lastComplete.isValid());
        } else {
            QCOMPARE(last.archiveSize, QFileInfo(archive()).size());
            QCOMPARE(record.lastComplete, last.start);
            QVERIFY(!record.lastFailure);
        }
    }

    void jobFilesThatAreNoJob_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("ifMissed");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("said");
        const QByteArray good = "sf=annaxm=0100000000ps=bf=";
        QTest::newRow("empty") << QByteArray() << false << 2 << QString();
        QTest::newRow("empty, catching up") << QByteArray() << true << 2 << QString();
        QTest::newRow("garbage, catching up")
            << QByteArray("garbage\n") << true << 2 << u"sf=USERxm=ITEMSps=PASSWORDbf=ARCHIVE"_s;
        QTest::newRow("no item chosen, catching up")
            << QByteArray("sf=annaxm=0000000000ps=bf=/x.wlm\n") << true << 2
            << u"No item is chosen: nothing was written."_s;
        // Used all the same, as ssh uses a key it warns of.
        QTest::newRow("readable by others")
            << good << false << 0 << u"can be read by other users"_s;
    }

    // A job file that holds no job fails and is recorded, whether or not it is a catch-up
    // check; one that others can read is used, with a warning.
    void jobFilesThatAreNoJob()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, ifMissed);
        QFETCH(int, exitStatus);
        QFETCH(QString, said);
        const QString file = jobFile(u"0100000000"_s, mondayAndWednesday);
        QByteArray text = contents;
        if (text.startsWith("sf=annaxm=0100000000"))
            text += archive().toUtf8() + '\n';
        QVERIFY(writeFile(file, text));
        QFile(file).setPermissions(exitStatus == 0
                                       ? QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther
                                       : QFile::ReadOwner | QFile::WriteOwner);
        const ProgramRun ran = run(file, u"2026-12-07T11:00"_s, ifMissed);
        QVERIFY2(ran.exitCode == exitStatus, ran.err.constData());
        QVERIFY2(ran.err.contains(said.toUtf8()), ran.err.constData());
        const JobRecord record = recordOf(file);
        QVERIFY(record.last);
        QCOMPARE(record.last->exitStatus, exitStatus);
        QVERIFY(record.last->lines.join(u'\n').contains(said));
    }

    void runsAMissedBackupOnce_data()
    {
        QTest::addColumn<QString>("lastComplete");
        QTest::addColumn<QString>("lastFailed");
        QTest::addColumn<QString>("created");
        QTest::addColumn<QString>("now");
        QTest::addColumn<bool>("runs");
        QTest::addColumn<QString>("days");
        QTest::addColumn<bool>("locked");
        const QString mondayWednesday = u"5"_s;
        QTest::newRow("completed after the last scheduled time")
            << u"2026-12-07T09:00:05"_s << QString() << u"2026-12-01T12:00"_s
            << u"2026-12-08T10:00"_s << false << mondayWednesday << false;
        QTest::newRow("completed before the last scheduled time")
            << u"2026-12-02T09:00:05"_s << QString() << u"2026-12-01T12:00"_s
            << u"2026-12-07T11:30"_s << true << mondayWednesday << false;
        QTest::newRow("never run, made before the scheduled time")
            << QString() << QString() << u"2026-12-06T12:00"_s << u"2026-12-07T10:00"_s << true
            << mondayWednesday << false;
        QTest::newRow("never run, made after the scheduled time")
            << QString() << QString() << u"2026-12-07T09:30"_s << u"2026-12-07T10:00"_s << false
            << mondayWednesday << false;
        QTest::newRow("made before these, never run")
            << QString() << QString() << QString() << u"2026-12-07T10:00"_s << false
            << mondayWednesday << false;
        QTest::newRow("the scheduled run failed")
            << u"2026-12-02T09:00:05"_s << u"2026-12-07T09:00:01"_s << u"2026-12-01T12:00"_s
            << u"2026-12-07T09:30"_s << true << mondayWednesday << false;
        // Mondays only: the last scheduled run lies up to seven days back.
        const QString monday = u"1"_s;
        QTest::newRow("weekly, 6 days after its run")
            << u"2026-11-30T09:00:05"_s << QString() << u"2026-11-01T12:00"_s
            << u"2026-12-06T10:00"_s << false << monday << false;
        QTest::newRow("weekly, 7 days after its run")
            << u"2026-11-30T09:00:05"_s << QString() << u"2026-11-01T12:00"_s
            << u"2026-12-07T10:00"_s << true << monday << false;
        QTest::newRow("weekly, 8 days after its run")
            << u"2026-11-30T09:00:05"_s << QString() << u"2026-11-01T12:00"_s
            << u"2026-12-08T10:00"_s << true << monday << false;
        // The run under way records its own outcome; the check leaves quietly.
        QTest::newRow("missed, while a run holds the profile")
            << u"2026-12-02T09:00:05"_s << QString() << u"2026-12-01T12:00"_s
            << u"2026-12-07T11:30"_s << false << mondayWednesday << true;
    }

    void runsAMissedBackupOnce()
    {
        QFETCH(QString, lastComplete);
        QFETCH(QString, lastFailed);
        QFETCH(QString, created);
        QFETCH(QString, now);
        QFETCH(bool, runs);
        QFETCH(QString, days);
        QFETCH(bool, locked);
        QMap<QString, QString> settings = mondayAndWednesday;
        settings.insert(u"DaysOfWeek"_s, days);
        if (!created.isEmpty())
            settings.insert(u"created"_s, created);
        const QString file = jobFile(u"0100000000"_s, settings);
        JobRecord record;
        record.lastComplete = at(lastComplete);
        if (!lastFailed.isEmpty()) {
            JobRun failed;
            failed.start = failed.end = at(lastFailed);
            failed.lines = {u"The disk was away."_s};
            record.add(failed);
        }
        if (record.lastComplete.isValid() || record.last)
            QVERIFY(writeJobRecord(outcomeRecordPath(file), record).ok());
        const QByteArray before = readFile(outcomeRecordPath(file));

        std::optional<Expected<ProfileLock>> held;
        if (locked) {
            held.emplace(ProfileLock::take(prefix()));
            QVERIFY(held->ok());
        }
        const ProgramRun check = run(file, now, true);
        held.reset();
        QVERIFY2(check.exitCode == 0, check.err.constData());
        QCOMPARE(QFileInfo::exists(archive()), runs);
        if (!runs) {
            QVERIFY2(check.err.isEmpty(), check.err.constData());
            QCOMPARE(readFile(outcomeRecordPath(file)), before);
            return;
        }
        const JobRecord after = recordOf(file);
        QVERIFY(after.lastComplete >= at(now) && after.lastComplete < at(now).addSecs(60));
        // Once: the next check finds the missed time made up.
        const QByteArray ranOnce = readFile(outcomeRecordPath(file));
        const ProgramRun again = run(file, at(now).addSecs(3600).toString(Qt::ISODate), true);
        QVERIFY2(again.exitCode == 0, again.err.constData());
        QCOMPARE(readFile(outcomeRecordPath(file)), ranOnce);
    }

    void keepsWhatTheJobFileSays_data()
    {
        QTest::addColumn<Settings>("settings");
        QTest::addColumn<QStringList>("archives");
        QTest::newRow("job file without the key") << Settings() << QStringList{u"mail.wlm"_s};
        QTest::newRow("keep=2") << Settings{{u"keep"_s, u"2"_s}}
                                << QStringList{u"mail 2026-12-07 0900.wlm"_s, u"mail.wlm"_s};
    }

    void keepsWhatTheJobFileSays()
    {
        QFETCH(Settings, settings);
        QFETCH(QStringList, archives);
        const QString file = jobFile(u"0100000000"_s, settings);
        for (const QString &now : {u"2026-12-07T09:00"_s, u"2026-12-09T09:00"_s}) {
            const ProgramRun ran = run(file, now);
            QVERIFY2(ran.exitCode == 0, ran.err.constData());
        }
        QCOMPARE(QDir(m_dir.filePath(u"archives"_s)).entryList(QDir::Files, QDir::Name), archives);
    }

    // A failed job tells the desktop, here a private session bus; a good one does not.
    void aFailedJobNotifiesTheDesktop()
    {
        QProcess daemon;
        daemon.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
        QVERIFY2(daemon.waitForStarted(-1), qPrintable(daemon.errorString()));
        QVERIFY(daemon.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        NotificationService service;
        {
            QDBusConnection bus = QDBusConnection::connectToBus(address, u"desktop"_s);
            QVERIFY(bus.isConnected());
            QVERIFY(bus.registerService(u"org.freedesktop.Notifications"_s));
            QVERIFY(bus.registerObject(u"/org/freedesktop/Notifications"_s, &service,
                                       QDBusConnection::ExportAllSlots));
        }
        for (const QString &target : {u"/nonexistent/mail.wlm"_s, QString()}) {
            QProcess job;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const QString &variable : environment(u"2026-12-07T09:00"_s))
                env.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
            env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, address);
            job.setProcessEnvironment(env);
            job.start(QDir(binDir()).filePath(u"brevnor"_s),
                      {u"--job"_s, jobFile(u"0100000000"_s, {}, target)});
            // The service answers from this event loop while the job waits for it.
            QTRY_VERIFY_WITH_TIMEOUT(job.state() == QProcess::NotRunning, 20000);
            QCOMPARE(job.exitCode(), target.isEmpty() ? 0 : 2);
        }
        QCOMPARE(
            service.shown,
            QStringList{u"Scheduled backup failed: The scheduled backup of %1 failed: The "
                        "backup /nonexistent/mail.wlm was not written: The folder "
                        "/nonexistent for the archive does not exist."_s.arg(
                            QLocale().toString(at(u"2026-12-07T09:00"_s), QLocale::ShortFormat))});
        QDBusConnection::disconnectFromBus(u"desktop"_s);
        daemon.kill();
        daemon.waitForFinished(-1);
    }
};

QUILLORY_TEST(JobRunsTest)
#include "tst_jobruns.moc"
