#include "schedule/failednotice.h"
#include "schedule/jobrecord.h"
#include "support/testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::Literals::StringLiterals;

namespace {

QDateTime at(const QString &time)
{
    return QDateTime::fromString(time, Qt::ISODate);
}

JobRun runAt(const QString &start, int exitStatus, const QString &line)
{
    JobRun run;
    run.start = at(start);
    run.end = run.start.addSecs(60);
    run.exitStatus = exitStatus;
    run.lines = {line, u"Backup Mail Rules\tFail!"_s};
    return run;
}

QString sentence(const QString &start, const QString &reason)
{
    return u"The scheduled backup of %1 failed: %2"_s.arg(
        QLocale().toString(at(start), QLocale::ShortFormat), reason);
}

} // namespace

// The main window's start tells once of the scheduled backups that failed since it last started.
class FailedNoticeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tellsOfEachFailureOnce()
    {
        QTemporaryDir jobs;
        const auto add = [&jobs](int job, const JobRun &run) {
            const QString path = jobs.filePath(u"job-%1.last"_s.arg(job));
            const Expected<JobRecord> read = readJobRecord(path);
            JobRecord record = read ? *read : JobRecord();
            record.add(run);
            return writeJobRecord(path, record).ok();
        };
        struct Step {
            QList<std::pair<int, JobRun>> runs; // recorded before the window starts
            QString started;
            QStringList told;
        };
        const QList<Step> steps = {
            {{{1, runAt(u"2026-12-05T09:00"_s, 2, u"The disk was away."_s)},
              {1, runAt(u"2026-12-07T09:00"_s, 0, {})},
              {2, runAt(u"2026-12-07T09:00"_s, 1, u"Contacts failed."_s)},
              {3, runAt(u"2026-12-07T10:00"_s, 2, u"No store."_s)}},
             u"2026-12-07T12:00"_s,
             {sentence(u"2026-12-05T09:00"_s, u"The disk was away."_s),
              sentence(u"2026-12-07T10:00"_s, u"No store."_s)}},
            {{}, u"2026-12-07T13:00"_s, {}},
            {{{3, runAt(u"2026-12-08T10:00"_s, 2, u"No store still."_s)}},
             u"2026-12-08T12:00"_s,
             {sentence(u"2026-12-08T10:00"_s, u"No store still."_s)}},
        };
        for (const Step &step : steps) {
            for (const auto &[job, run] : step.runs)
                QVERIFY(add(job, run));
            ScriptedDialogs dialogs;
            tellFailedScheduledBackups(dialogs, jobs.path(), at(step.started));
            if (step.told.isEmpty()) {
                QCOMPARE(dialogs.messageTexts(), QStringList());
                continue;
            }
            QCOMPARE(dialogs.messageTexts(), QStringList{step.told.join(u'\n')});
            QCOMPARE(dialogs.shown[0].icon, MessageIcon::Error);
            // The reports go to the details.
            QVERIFY(dialogs.shown[0].details.contains(u"Backup Mail Rules\tFail!"_s));
        }
    }
};

QUILLORY_TEST(FailedNoticeTest)
#include "tst_failednotice.moc"
