#include "../testcrontab.h"
#include "platform/cron/jobfile.h"
#include "platform/jobcommand.h"
#include "platform/zip/ziparchive.h"
#include "schedule/jobprogram.h"
#include "schedule/jobrecord.h"
#include "schedule/windows/frmtasks.h"
#include "schedulerfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

using namespace quillory;
using namespace quillory::test;

namespace {

// A Tuesday, for the next runs the jobs list shows. The program's clock is read once in a
// process, so it is set before any test of the process looks at it.
const bool clockSet = qputenv("QUILLORY_NOW", "2026-12-08T10:00");

QList<ScheduledJob> jobsOf(JobScheduler &scheduler)
{
    const Expected<QList<ScheduledJob>> jobs = scheduler.jobs();
    if (!jobs)
        qWarning() << jobs.message();
    return jobs ? *jobs : QList<ScheduledJob>();
}

QString programPath()
{
    return jobProgramPath();
}

// Every process's arguments, as any user of the machine can read them.
QByteArray processArguments()
{
    QByteArray all;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile arguments(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (arguments.open(QIODevice::ReadOnly))
            all += arguments.readAll() + '\n';
    }
    return all;
}

AT_INFO expectedJob(quint32 jobTime, quint8 daysOfWeek, const QString &arguments)
{
    AT_INFO job;
    job.JobTime = jobTime;
    job.DaysOfWeek = daysOfWeek;
    job.Flags = JOB_RUN_PERIODICALLY;
    job.Command = joinJobCommand({programPath(), arguments});
    return job;
}

// The shell command cron runs for the job's entry: the command field after the five time
// fields, cut at the first bare "%", with "\%" turned into "%".
QString cronCommand(const QByteArray &crontab, quint32 job)
{
    const QList<QByteArray> lines = crontab.split('\n');
    const qsizetype marker = lines.indexOf("# quillory job " + QByteArray::number(job));
    if (marker < 0 || marker + 1 >= lines.size())
        return {};
    static const QRegularExpression timeFields(QStringLiteral("^(?:\\S+ ){5}"));
    const QString field = QString::fromUtf8(lines[marker + 1]).remove(timeFields);
    QString command;
    for (qsizetype i = 0; i < field.size() && field[i] != QLatin1Char('%'); ++i) {
        if (field[i] == QLatin1Char('\\') && field.mid(i + 1, 1) == QLatin1String("%"))
            ++i;
        command += field[i];
    }
    return command;
}

} // namespace

// Jobs that go through the dialog into a real crontab, one that holds no real user's jobs, and
// come back; their job files go to a scratch configuration folder.
class ScheduledJobsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestCrontab> m_user;
    QTemporaryDir m_config;

    std::unique_ptr<SchedulerFixture> fixture(const QStringList &profileOptions = {}) const
    {
        auto f = std::make_unique<SchedulerFixture>(m_user->name(), profileOptions);
        return f->loaded ? std::move(f) : nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        m_user = std::make_unique<TestCrontab>();
        QVERIFY2(m_user->isValid(), qPrintable(m_user->problem()));
    }

    void cleanupTestCase() { m_user.reset(); }

    void init() { m_user->removeCrontab(); }

    void submitsTheRecord_data()
    {
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("password");
        QTest::addColumn<quint32>("jobTime");
        QTest::addColumn<quint8>("daysOfWeek");
        QTest::addColumn<int>("keep");
        QTest::addColumn<bool>("catchUp");
        QTest::newRow("9:00 Monday Wednesday Friday") << "9:00"
                                                      << "chkMonday chkWednesday chkFriday"
                                                      << "" << 32400000u << quint8(21) << 1 << true;
        QTest::newRow("14:30 run daily, protected, keeping 3, no catching up")
            << "14:30"
            << "chkDaily"
            << "s3cret" << 52200000u << quint8(127) << 3 << false;
        QTest::newRow("7:45 typed, no day") << "7:45"
                                            << ""
                                            << "" << 27900000u << quint8(0) << 99 << true;
    }

    void submitsTheRecord()
    {
        QFETCH(QString, time);
        QFETCH(QString, days);
        QFETCH(QString, password);
        QFETCH(quint32, jobTime);
        QFETCH(quint8, daysOfWeek);
        QFETCH(int, keep);
        QFETCH(bool, catchUp);
        QVERIFY(clockSet);
        const auto f = fixture();
        QVERIFY(f);
        f->dialog->show();
        f->tickItems(QStringLiteral("1000010000"));
        auto *times = f->get<QComboBox>("cmbStartTime");
        if (times->findText(time) >= 0) {
            times->setCurrentIndex(times->findText(time));
        } else {
            times->lineEdit()->clear();
            QTest::keyClicks(times->lineEdit(), time);
        }
        for (const QString &day : days.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            f->get<QCheckBox>(qPrintable(day))->click();
        if (!password.isEmpty()) {
            f->get<QCheckBox>("ifprotect")->click();
            QTest::keyClicks(f->get<QLineEdit>("txtPassword"), password);
            QTest::keyClicks(f->get<QLineEdit>("txtPassword2"), password);
        }
        f->chooseArchive(f->profile.archive());
        // New jobs make up missed runs and keep one archive unless told otherwise.
        QVERIFY(f->get<QCheckBox>("chkCatchUp")->isChecked());
        QCOMPARE(f->get<QSpinBox>("spnKeep")->value(), 1);
        f->get<QSpinBox>("spnKeep")->setValue(keep);
        // "Keep the last 1 backup", "... 3 backups".
        QCOMPARE(f->get<QLabel>("lblKeepBackups")->text(),
                 keep == 1 ? QStringLiteral("backup") : QStringLiteral("backups"));
        f->get<QCheckBox>("chkCatchUp")->setChecked(catchUp);
        f->click("Command3");

        QCOMPARE(f->messages(), QStringList{QStringLiteral("Task 1 has been scheduled.")});
        QCOMPARE(f->profile.dialogs.shown.last().icon, MessageIcon::None);
        QCOMPARE(f->profile.dialogs.shown.last().buttons, MessageButtons::Ok);
        QVERIFY(f->dialog->isVisible());
        QVERIFY(QFileInfo(programPath()).isExecutable());
        const QList<ScheduledJob> jobs = jobsOf(*f->scheduler);
        QCOMPARE(jobs.size(), 1);
        const AT_INFO expected =
            expectedJob(jobTime, daysOfWeek,
                        QStringLiteral("sf=%1xm=1000010000ps=%2bf=%3")
                            .arg(f->values().LogonUserName, password, f->profile.archive()));
        QCOMPARE(jobs[0].job, expected);
        QCOMPARE(jobs[0].job.DaysOfMonth, 0u);
        QCOMPARE(jobs[0].catchesUp, catchUp);
        QCOMPARE(jobs[0].settings.value(QStringLiteral("keep")), QString::number(keep));
        // From when missed runs count: the program's clock at the submission.
        const QDateTime created =
            QDateTime::fromString(jobs[0].settings.value(QStringLiteral("created")), Qt::ISODate);
        const QDateTime now(QDate(2026, 12, 8), QTime(10, 0));
        QVERIFY(created >= now && created < now.addSecs(300));
    }

    void saysWhenNoCronServiceWouldRunTheJob()
    {
        const auto f = fixture();
        QVERIFY(f);
        f->setCronRuns(false);
        f->tickItems(QStringLiteral("0100000000"));
        f->chooseArchive(f->profile.archive());
        f->click("Command3");
        QCOMPARE(f->messages(),
                 QStringList{QStringLiteral("Task 1 has been scheduled, but no cron service is "
                                            "running on this computer, so it will not run until "
                                            "one is started.")});
        QCOMPARE(jobsOf(*f->scheduler).size(), 1);
    }

    void eachSubmissionRebuildsItsDays()
    {
        const auto f = fixture();
        QVERIFY(f);
        f->tickItems(QStringLiteral("0100000000"));
        f->chooseArchive(f->profile.archive());
        f->get<QCheckBox>("chkMonday")->click();
        f->get<QCheckBox>("chkWednesday")->click();
        f->click("Command3");
        f->get<QCheckBox>("chkMonday")->click();
        f->get<QCheckBox>("chkWednesday")->click();
        f->get<QCheckBox>("chkTuesday")->click();
        f->click("Command3");
        QCOMPARE(f->messages(), QStringList({QStringLiteral("Task 1 has been scheduled."),
                                             QStringLiteral("Task 2 has been scheduled.")}));
        const QList<ScheduledJob> jobs = jobsOf(*f->scheduler);
        QCOMPARE(jobs.size(), 2);
        QCOMPARE(jobs[0].job.DaysOfWeek, quint8(5));
        QCOMPARE(jobs[1].job.DaysOfWeek, quint8(2));
    }

    // At the window's width of 900 pixels: a job of all ten items and one whose job file is gone.
    void tasksWindowShowsEveryTextWholeWithinItsWidth()
    {
        const auto f = fixture();
        QVERIFY(f);
        f->tickItems(QStringLiteral("1111111111"));
        f->chooseArchive(f->profile.archive());
        f->click("Command3");
        f->click("Command3");
        QCOMPARE(jobsOf(*f->scheduler).size(), 2);
        QVERIFY(QFile::remove(f->scheduler->jobFilePath(2)));

        frmTasks tasks(*f->scheduler, f->profile.dialogs);
        QCOMPARE(tasks.width(), 900);
        tasks.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tasks));
        auto *list = tasks.findChild<QTreeWidget *>(QStringLiteral("lvwTasks"));
        QCoreApplication::processEvents();
        QVERIFY(list->topLevelItem(0)->text(3).endsWith(QLatin1String("Settings")));
        QVERIFY(list->topLevelItem(1)->text(9).contains(QLatin1String("is missing")));
        QVERIFY2(list->header()->length() <= list->viewport()->width(),
                 qPrintable(QStringLiteral("%1 > %2")
                                .arg(list->header()->length())
                                .arg(list->viewport()->width())));
        QVERIFY(!list->horizontalScrollBar()->isVisible());
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            const QTreeWidgetItem *item = list->topLevelItem(row);
            for (int column = 0; column < list->columnCount(); ++column) {
                const QModelIndex cell = list->model()->index(row, column);
                // The cell's text as painted, wrapped at its column's width, fits the row.
                const QRect cellAt = list->visualRect(cell);
                const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
                int width = cellAt.width() - 2 * margin;
                if (!item->icon(column).isNull())
                    width -= list->iconSize().width() + 2 * margin;
                QTextLayout painted(item->text(column), list->font());
                QTextOption wrap;
                wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
                painted.setTextOption(wrap);
                qreal needed = 0;
                painted.beginLayout();
                for (QTextLine line = painted.createLine(); line.isValid();
                     line = painted.createLine()) {
                    line.setLineWidth(width);
                    needed += line.height();
                }
                painted.endLayout();
                QVERIFY2(needed <= cellAt.height(), qPrintable(item->text(column)));
                QCOMPARE(item->toolTip(column), item->text(column));
            }
        }
    }

    void tasksWindowListsAndDeletesTheJobs()
    {
        const auto f = fixture();
        QVERIFY(f);
        f->tickItems(QStringLiteral("1000010001"));
        f->chooseArchive(f->profile.archive());
        f->get<QCheckBox>("chkDaily")->click();
        f->get<QCheckBox>("ifprotect")->click();
        QTest::keyClicks(f->get<QLineEdit>("txtPassword"), QStringLiteral("s3cret"));
        QTest::keyClicks(f->get<QLineEdit>("txtPassword2"), QStringLiteral("s3cret"));
        f->click("Command3");
        f->get<QCheckBox>("chkDaily")->click();
        f->get<QCheckBox>("chkMonday")->click();
        f->get<QCheckBox>("chkSunday")->click();
        f->get<QComboBox>("cmbStartTime")->setCurrentIndex(29);
        f->click("Command3");
        // An entry of the program's older form whose command is no backup, edited by hand, with
        // a program that is not there.
        QVERIFY(m_user->installCrontab(
            m_user->crontab() + "# quillory job 7\n0 9 * * 3 '/nonexistent/brevnor' 'hello'\n"));
        // A job whose file is gone.
        QVERIFY(QFile::remove(f->scheduler->jobFilePath(2)));
        // Job 1 failed on its last run, the day before the list is opened.
        JobRecord record;
        JobRun failed;
        failed.start = QDateTime(QDate(2026, 12, 7), QTime(9, 0));
        failed.end = failed.start.addSecs(5);
        failed.lines = {QStringLiteral("The disk was away."), QStringLiteral("Second line.")};
        record.add(failed);
        QVERIFY(writeJobRecord(outcomeRecordPath(f->scheduler->jobFilePath(1)), record).ok());
        const auto shortTime = [](int day, int hour, int minute) {
            return QLocale().toString(QDateTime(QDate(2026, 12, day), QTime(hour, minute)),
                                      QLocale::ShortFormat);
        };

        ScriptedDialogs &dialogs = f->profile.dialogs;
        dialogs.shown.clear();
        frmTasks tasks(*f->scheduler, dialogs);
        auto *list = tasks.findChild<QTreeWidget *>(QStringLiteral("lvwTasks"));
        auto *remove = tasks.findChild<QPushButton *>(QStringLiteral("cmdDelete"));
        const auto rows = [list] {
            QList<QStringList> texts;
            for (int row = 0; row < list->topLevelItemCount(); ++row) {
                QStringList cells;
                for (int column = 0; column < list->columnCount(); ++column)
                    cells.append(list->topLevelItem(row)->text(column));
                texts.append(cells);
            }
            return texts;
        };
        QCOMPARE(rows().size(), 3);
        QCOMPARE(
            rows()[0],
            QStringList({QStringLiteral("1"), QStringLiteral("9:00"), QStringLiteral("Every day"),
                         QStringLiteral("Mail Accounts & Messages/News Accounts & "
                                        "Messages, Contacts, Settings"),
                         f->profile.archive(), QStringLiteral("Yes"),
                         shortTime(7, 9, 0) + QStringLiteral(", Failed: The disk was away."),
                         shortTime(9, 9, 0), programPath(), QString()}));
        QCOMPARE(
            rows()[1],
            QStringList(
                {QStringLiteral("2"), QStringLiteral("14:30"),
                 QLocale().dayName(1) + QStringLiteral(", ") + QLocale().dayName(7), QString(),
                 QString(), QStringLiteral("Yes"), QStringLiteral("Not yet"), shortTime(13, 14, 30),
                 programPath(),
                 QStringLiteral("The job file %1 is missing.").arg(f->scheduler->jobFilePath(2))}));
        QCOMPARE(rows()[2].mid(0, 3),
                 QStringList({QStringLiteral("7"), QStringLiteral("9:00"), QLocale().dayName(3)}));
        QVERIFY(rows()[2][3].startsWith(QLatin1String("The command line must read")));
        QCOMPARE(rows()[2].mid(5),
                 QStringList({QStringLiteral("No"), QStringLiteral("Not yet"), shortTime(9, 9, 0),
                              QStringLiteral("/nonexistent/brevnor"),
                              QStringLiteral("The program /nonexistent/brevnor "
                                             "is missing.")}));
        QVERIFY(list->topLevelItem(0)->icon(0).isNull());
        // The failed last run is marked, and its report is at hand.
        QVERIFY(!list->topLevelItem(0)->icon(6).isNull());
        QVERIFY(list->topLevelItem(1)->icon(6).isNull());
        QCOMPARE(list->topLevelItem(0)->toolTip(6),
                 list->topLevelItem(0)->text(6) +
                     QStringLiteral("\n\nThe disk was away.\nSecond line."));
        QVERIFY(!list->topLevelItem(1)->icon(0).isNull());
        QVERIFY(!list->topLevelItem(2)->icon(0).isNull());
        for (const QStringList &cells : rows())
            for (const QString &cell : cells)
                QVERIFY2(!cell.contains(QLatin1String("s3cret")), qPrintable(cell));

        QVERIFY(!remove->isEnabled());
        list->setCurrentItem(list->topLevelItem(0));
        QVERIFY(remove->isEnabled());
        dialogs.answers.enqueue(MessageAnswer::No);
        remove->click();
        QCOMPARE(dialogs.messageTexts(),
                 QStringList{QStringLiteral("Do you want to delete task 1?")});
        QCOMPARE(dialogs.shown.last().buttons, MessageButtons::YesNo);
        QCOMPARE(jobsOf(*f->scheduler).size(), 3);

        remove->click();
        QCOMPARE(rows().size(), 2);
        QCOMPARE(rows()[0][0], QStringLiteral("2"));
        QVERIFY(!remove->isEnabled());
        list->setCurrentItem(list->topLevelItem(1));
        remove->click();
        QCOMPARE(rows().size(), 1);
        QCOMPARE(jobsOf(*f->scheduler).size(), 1);
        QVERIFY(!m_user->crontab().contains("hello"));
        QCOMPARE(dialogs.messageTexts().size(), 3);
        QVERIFY(!QFileInfo::exists(f->scheduler->jobFilePath(1)));
    }

    // The whole way: the dialog writes the crontab entry and the job file, and the entry's
    // command, run as cron runs it, makes the archive from the profile. Meanwhile no process shows
    // the password in its arguments, which every user of the machine can read.
    void theJobCronRunsWritesTheArchive()
    {
        const auto f = fixture();
        QVERIFY(f);
        const QString archive = f->profile.archive(QStringLiteral("weekly 100% mail.wlm"));
        const QString password = QStringLiteral("s3 cr%t'");
        f->tickItems(QStringLiteral("0100010000"));
        f->get<QCheckBox>("chkMonday")->click();
        f->get<QCheckBox>("ifprotect")->click();
        QTest::keyClicks(f->get<QLineEdit>("txtPassword"), password);
        QTest::keyClicks(f->get<QLineEdit>("txtPassword2"), password);
        f->chooseArchive(archive);
        f->click("Command3");
        QCOMPARE(f->messages(), QStringList{QStringLiteral("Task 1 has been scheduled.")});
        QVERIFY(!m_user->crontab().contains(password.toUtf8()));
        const QString jobFile = f->scheduler->jobFilePath(1);
        QCOMPARE(QFileInfo(jobFile).permissions(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

        const QString command = cronCommand(m_user->crontab(), 1);
        QVERIFY(!command.isEmpty());
        QTemporaryDir home;
        QProcess cron;
        QProcessEnvironment cronEnvironment;
        cronEnvironment.insert(QStringLiteral("HOME"), home.path());
        cronEnvironment.insert(QStringLiteral("LOGNAME"), m_user->name());
        cronEnvironment.insert(QStringLiteral("SHELL"), QStringLiteral("/bin/sh"));
        cronEnvironment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        cron.setProcessEnvironment(cronEnvironment);
        cron.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
        QVERIFY(cron.waitForStarted(-1));
        int samplesOfTheRun = 0;
        while (cron.state() != QProcess::NotRunning) {
            const QByteArray arguments = processArguments();
            QVERIFY2(!arguments.contains(password.toUtf8()), arguments.constData());
            if (arguments.contains(QFile::encodeName(jobFile)))
                ++samplesOfTheRun;
            cron.waitForFinished(0);
        }
        // The samples saw the job's own process.
        QVERIFY(samplesOfTheRun > 0);
        QVERIFY2(cron.exitStatus() == QProcess::NormalExit && cron.exitCode() == 0,
                 cron.readAllStandardError().constData());
        QVERIFY(QFileInfo::exists(archive));
        QVERIFY(ZipArchive::IsProtected(archive));
        const QStringList lines = infoLines(archive, password);
        QCOMPARE(lines.value(3), QStringLiteral("BackupInformation=Auto Backup"));
        QCOMPARE(lines.value(lines.size() - 1), QStringLiteral("BackupItem=0100010000"));

        // Without its job file the job says so, for cron to mail, and writes nothing.
        QVERIFY(QFile::remove(jobFile) && QFile::remove(archive));
        const ProgramRun lost = runProgram(programPath(), {QStringLiteral("--job"), jobFile});
        QCOMPARE(lost.exitCode, 2);
        QVERIFY2(lost.err.contains("could not be read"), lost.err.constData());
        QVERIFY(!QFileInfo::exists(archive));
    }
};

QUILLORY_TEST(ScheduledJobsTest)
#include "tst_scheduledjobs.moc"
