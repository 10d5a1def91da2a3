#include "backup/autobackupcommandline.h"
#include "platform/cron/crontabentry.h"
#include "platform/cron/jobfile.h"
#include "platform/jobcommand.h"
#include "schedule/filljobinfo.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace quillory;
using quillory::test::writeFile;

Q_DECLARE_METATYPE(quillory::AT_INFO)

namespace {

const QList<EnvironmentVariable> annasEnvironment = {
    {QStringLiteral("WINEPREFIX"), QStringLiteral("/home/anna/.wine")},
    {QStringLiteral("LANG"), QStringLiteral("C.UTF-8")}};

const QString annasJobFile = QStringLiteral("/home/anna/.config/quillory/jobs/job-1");

AT_INFO record(quint32 jobTime, quint8 daysOfWeek, const QString &arguments)
{
    AT_INFO job;
    job.JobTime = jobTime;
    job.DaysOfWeek = daysOfWeek;
    job.Flags = JOB_RUN_PERIODICALLY;
    job.Command = joinJobCommand({QStringLiteral("/usr/bin/brevnor"), arguments});
    return job;
}

// What cron hands to /bin/sh: the command field cut at the first bare "%", with "\%" turned into
// "%". Debian's cron also turns "\\" into "\"; other crons keep both backslashes.
QString cronShellCommand(const QByteArray &entry, bool joinsBackslashes)
{
    static const QRegularExpression timeFields(QStringLiteral("^(?:\\S+ ){5}"));
    const QString field = QString::fromUtf8(entry).remove(timeFields);
    QString command;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field[i];
        if (c == QLatin1Char('%'))
            break;
        if (c == QLatin1Char('\\') && i + 1 < field.size()) {
            const QChar next = field[i + 1];
            if (next == QLatin1Char('%') || (joinsBackslashes && next == QLatin1Char('\\'))) {
                command += next;
                ++i;
                continue;
            }
        }
        command += c;
    }
    return command;
}

// Runs the command as cron does, with cron's few variables; the script prints its
// WINEPREFIX and then its arguments, one line each.
QStringList runLikeCron(const QString &command)
{
    QProcessEnvironment cronEnvironment;
    cronEnvironment.insert(QStringLiteral("HOME"), QDir::homePath());
    cronEnvironment.insert(QStringLiteral("LOGNAME"), QStringLiteral("anna"));
    cronEnvironment.insert(QStringLiteral("SHELL"), QStringLiteral("/bin/sh"));
    cronEnvironment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    QProcess shell;
    shell.setProcessEnvironment(cronEnvironment);
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    shell.waitForFinished(-1);
    return QString::fromUtf8(shell.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class CrontabEntryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void writesCronTimeFields_data()
    {
        QTest::addColumn<quint32>("jobTime");
        QTest::addColumn<quint8>("daysOfWeek");
        QTest::addColumn<QDate>("runsOnceOn");
        QTest::addColumn<QString>("fields");
        QTest::newRow("9:00 Monday Wednesday Friday")
            << 32400000u << quint8(21) << QDate() << "0 9 * * 1,3,5 ";
        QTest::newRow("14:30 every day") << 52200000u << quint8(127) << QDate() << "30 14 * * * ";
        QTest::newRow("Sunday is cron's day 0")
            << 0u << quint8(64 | 32) << QDate() << "0 0 * * 0,6 ";
        QTest::newRow("7:45 with no day runs on one date only")
            << 27900000u << quint8(0) << QDate(2031, 12, 31)
            << "45 7 31 12 * [ \"$(date +\\%Y)\" = 2031 ] && ";
        QTest::newRow("a year with a leading zero keeps it")
            << 0u << quint8(0) << QDate(630, 6, 30)
            << "0 0 30 6 * [ \"$(date +\\%Y)\" = 0630 ] && ";
    }

    void writesCronTimeFields()
    {
        QFETCH(quint32, jobTime);
        QFETCH(quint8, daysOfWeek);
        QFETCH(QDate, runsOnceOn);
        QFETCH(QString, fields);
        const AT_INFO job = record(jobTime, daysOfWeek, QStringLiteral("sf=annaxm=1ps=bf=/b.wlm"));
        const Expected<QByteArray> entry =
            composeCrontabEntry({{1, job, runsOnceOn, annasJobFile, {}}, annasEnvironment});
        QVERIFY2(entry.ok(), qPrintable(entry.message()));
        // The argument text, password and all, stays in the job file.
        QCOMPARE(QString::fromUtf8(*entry),
                 fields +
                     QStringLiteral("WINEPREFIX='/home/anna/.wine' LANG='C.UTF-8' exec "
                                    "'/usr/bin/brevnor' --job '") +
                     annasJobFile + QLatin1Char('\''));
        const std::optional<CrontabJob> back = parseCrontabEntry(1, *entry);
        QVERIFY(back.has_value());
        AT_INFO withoutArguments = job;
        withoutArguments.Command = joinJobCommand({QStringLiteral("/usr/bin/brevnor"), {}});
        QVERIFY(back->scheduled.job == withoutArguments);
        QCOMPARE(back->scheduled.runsOnceOn, runsOnceOn);
        QCOMPARE(back->scheduled.jobFile, annasJobFile);
        QCOMPARE(back->environment, annasEnvironment);
        CrontabJob again = *back;
        again.scheduled.job.Command = job.Command;
        QCOMPARE(composeCrontabEntry(again).value(), *entry);
    }

    void oddValuesReachTheProgramUnchanged_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("password");
        QTest::newRow("blanks") << "/srv/My Backups/mail  two  blanks .wlm"
                                << "a b  c";
        QTest::newRow("quotes") << "/srv/it's \"quoted\".wlm"
                                << "'\"'";
        QTest::newRow("percent signs") << "/srv/100% done %Y %%.wlm"
                                       << "%%p%";
        QTest::newRow("shell syntax") << "/srv/$HOME `id` $(id); rm x & y | z > w < v.wlm"
                                      << "$(id)`id`;|&><";
        QTest::newRow("backslashes") << "/srv/a\\\\b\\%c\\'d\\"
                                     << "\\%\\\\";
        QTest::newRow("globs and tilde") << "~/*.wlm ?[a] #x {a,b}"
                                         << "*";
        QTest::newRow("UTF-8") << "/srv/Grüße/Ärger ✓.wlm"
                               << "pässwörd";
    }

    void oddValuesReachTheProgramUnchanged()
    {
        QFETCH(QString, archive);
        QFETCH(QString, password);
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("odd 'dir' %x $y\\/printargs"));
        QVERIFY(writeFile(program, "#!/bin/sh\n"
                                   "printf 'env:%s\\n' \"$WINEPREFIX\"\n"
                                   "for a in \"$@\"; do printf 'arg:%s\\n' \"$a\"; done\n"
                                   "printf 'text:%s\\n' \"$(cat \"$2\")\"\n"));
        QVERIFY(
            QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString prefix = dir.filePath(QStringLiteral("pre fix's %d $x"));
        // The odd archive names stand in the job file's path too.
        const QString jobFile =
            dir.path() + QStringLiteral("/jobs") +
            (archive.startsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + archive;

        JobRequest request;
        request.startTime = QStringLiteral("9:00");
        request.items[ItemContacts] = true;
        request.LogonUserName = QStringLiteral("anna");
        request.password = password;
        request.BackupFileName = archive;
        request.programPath = program;
        const Expected<AT_INFO> job = FillJobInfo(request);
        QVERIFY2(job.ok(), qPrintable(job.message()));
        QVERIFY(writeJobFile(jobFile, splitJobCommand(job->Command)->arguments).ok());

        const QDate thisYear = QDate::currentDate();
        const QList<EnvironmentVariable> environment = {{QStringLiteral("WINEPREFIX"), prefix}};
        const Expected<QByteArray> entry =
            composeCrontabEntry({{1, *job, thisYear, jobFile, {}}, environment});
        QVERIFY2(entry.ok(), qPrintable(entry.message()));
        const std::optional<CrontabJob> back = parseCrontabEntry(1, *entry);
        QVERIFY(back.has_value());
        QCOMPARE(back->scheduled.jobFile, jobFile);
        QCOMPARE(splitJobCommand(back->scheduled.job.Command)->program, program);
        QCOMPARE(back->environment, environment);
        for (const bool joinsBackslashes : {true, false}) {
            const QStringList printed = runLikeCron(cronShellCommand(*entry, joinsBackslashes));
            QCOMPARE(printed.mid(0, 3),
                     QStringList({QStringLiteral("env:") + prefix, QStringLiteral("arg:--job"),
                                  QStringLiteral("arg:") + jobFile}));
            const Expected<AutoBackupCommand> backup =
                parseAutoBackupCommandLine(printed.value(3).mid(5));
            QVERIFY(backup.ok());
            QCOMPARE(backup->user, request.LogonUserName);
            QCOMPARE(backup->items(), request.items);
            QCOMPARE(backup->password, password);
            QCOMPARE(backup->archivePath, archive);
        }

        // A job without days that was due in another year does not run again.
        const Expected<QByteArray> stale =
            composeCrontabEntry({{1, *job, thisYear.addYears(-1), jobFile, {}}, {}});
        QVERIFY(stale.ok());
        QCOMPARE(runLikeCron(cronShellCommand(*stale, true)), QStringList());
    }

    void refusesWhatCrontabCannotCarry_data()
    {
        QTest::addColumn<AT_INFO>("job");
        QTest::addColumn<QString>("mentions");
        const AT_INFO good = record(32400000, 1, QStringLiteral("sf=xm=1ps=bf=/b.wlm"));
        const auto row = [&good](const char *name, const char *mentions, auto change) {
            AT_INFO job = good;
            change(job);
            QTest::newRow(name) << job << QString::fromLatin1(mentions);
        };
        row("line break", "control character",
            [](AT_INFO &j) { j.Command += QStringLiteral("\n"); });
        row("relative program", "full path",
            [](AT_INFO &j) { j.Command = QStringLiteral("\"brevnor\" sf="); });
        row("line break in the job file's arguments", "control character",
            [](AT_INFO &j) { j.Command += QStringLiteral("\r"); });
        row("seconds", "whole minute", [](AT_INFO &j) { j.JobTime += 1000; });
        row("days of the month", "month", [](AT_INFO &j) { j.DaysOfMonth = 1; });
        row("not periodic", "flags", [](AT_INFO &j) { j.Flags = 0; });
    }

    void refusesWhatCrontabCannotCarry()
    {
        QFETCH(AT_INFO, job);
        QFETCH(QString, mentions);
        const Expected<QByteArray> entry =
            composeCrontabEntry({{1, job, QDate(), annasJobFile, {}}, annasEnvironment});
        QVERIFY(!entry.ok());
        QVERIFY2(entry.message().contains(mentions), qPrintable(entry.message()));
    }

    void otherLinesAreNotTheProgramsJobs()
    {
        const char *entries[] = {
            "30 14 * * 1 /usr/bin/backup --all",
            "30 14 * * 1 '/usr/bin/brevnor' 'sf=' % input",
            "30 14 * * 1 '/usr/bin/brevnor' 'a\\\\b'",
            "30 14 * * 1 '/usr/bin/brevnor' 'sf=' ; rm -rf ~",
            "30 14 * * 1-5 '/usr/bin/brevnor' 'sf='",
            "30 14 1 * * '/usr/bin/brevnor' 'sf='",
            "30 24 * * 1 '/usr/bin/brevnor' 'sf='",
            "@daily '/usr/bin/brevnor' 'sf='",
            "45 7 30 2 * [ \"$(date +\\%Y)\" = 2031 ] && '/usr/bin/brevnor' 'sf='",
            "30 14 * * 1 '/usr/bin/brevnor' 'unclosed",
            "30 14 * * 1 exec '/usr/bin/brevnor' 'sf='",
            "30 14 * * 1 exec '/usr/bin/brevnor' --job",
            "30 14 * * 1 exec '/usr/bin/bre\"vnor' --job '/j'",
            // What the writer refuses to write is not read either.
            "30 14 * * 1 exec 'brevnor' --job '/j'",
            "30 14 * * 1 exec '/usr/bin/brevnor' --job '/j\tk'",
            "30 14 * * 1 exec '/usr/bin/brevnor' --job 'home/anna/jobs/1'",
            "30 14 * * 1 A='x\ry' exec '/usr/bin/brevnor' --job '/j'",
            // Numbers in another form than the one written would not read back as they stand.
            "30 14 * * 7 '/usr/bin/brevnor' 'sf='",
            "30 14 * * 3,1 '/usr/bin/brevnor' 'sf='",
            "30 14 * * 1,1 '/usr/bin/brevnor' 'sf='",
            "30 14 * * 0,1,2,3,4,5,6 '/usr/bin/brevnor' 'sf='",
            "09 14 * * 1 '/usr/bin/brevnor' 'sf='",
            "30 14 01 2 * [ \"$(date +\\%Y)\" = 2031 ] && '/usr/bin/brevnor' 'sf='",
            "",
        };
        for (const char *line : entries)
            QVERIFY2(!parseCrontabEntry(1, QByteArray(line)).has_value(), line);
        // The older form, whose line held the argument text, is still read.
        const std::optional<CrontabJob> older =
            parseCrontabEntry(1, QByteArray("30 14 * * 0 '/usr/bin/brevnor' 'sf=annaps=x'"));
        QVERIFY(older.has_value());
        QCOMPARE(older->scheduled.job.Command, QStringLiteral("\"/usr/bin/brevnor\" sf=annaps=x"));
        QVERIFY(older->scheduled.jobFile.isEmpty());

        QCOMPARE(parseCrontabMarker(crontabMarker(42)), std::optional<quint32>(42));
        for (const char *line : {"# quillory job 0", "# quillory job 3 ", "#quillory job 3",
                                 "# quillory job 1234567890", "# Quillory job 3"})
            QVERIFY2(!parseCrontabMarker(QByteArray(line)).has_value(), line);
    }

    void jobWithoutDaysRunsAtTheNextOccurrence()
    {
        const QDateTime morning(QDate(2031, 12, 31), QTime(8, 59, 59));
        QCOMPARE(nextRunDate(9 * 3600000, morning), QDate(2031, 12, 31));
        QCOMPARE(nextRunDate(9 * 3600000, morning.addSecs(1)), QDate(2032, 1, 1));
        QCOMPARE(nextRunDate(0, QDateTime(QDate(2031, 1, 1), QTime(0, 0))), QDate(2031, 1, 2));
    }
};

QUILLORY_TEST(CrontabEntryTest)
#include "tst_crontabentry.moc"
