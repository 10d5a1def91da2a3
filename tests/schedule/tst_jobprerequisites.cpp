#include "platform/cron/cronservice.h"
#include "schedule/jobprogram.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quillory;
using quillory::test::writeFile;

namespace {

bool makeProgram(const QString &path)
{
    return QDir().mkpath(QFileInfo(path).absolutePath()) && writeFile(path, "#!/bin/sh\n") &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
}

} // namespace

// What a scheduled job needs to run at all: a cron daemon, and a program that is still there.
class JobPrerequisitesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void findsARunningCronDaemon_data()
    {
        QTest::addColumn<QString>("processes"); // "pid:name …" in the process folder
        QTest::addColumn<QString>("pidFile");   // the pid file's text; none when empty
        QTest::addColumn<bool>("runs");
        QTest::newRow("nothing") << "1:systemd 77:sshd"
                                 << "" << false;
        QTest::newRow("Debian's cron") << "1:init 412:cron"
                                       << "" << true;
        QTest::newRow("cronie's crond") << "88:crond"
                                        << "" << true;
        QTest::newRow("a name that only starts like it") << "90:crontab 91:anacron"
                                                         << "" << false;
        QTest::newRow("pid file of a live daemon") << "523:sbin-cron"
                                                   << "523\n"
                                                   << true;
        QTest::newRow("pid file that outlived its daemon") << "1:init"
                                                           << "523" << false;
        QTest::newRow("pid file that holds no number") << "1:init"
                                                       << "cron" << false;
    }

    void findsARunningCronDaemon()
    {
        QFETCH(QString, processes);
        QFETCH(QString, pidFile);
        QFETCH(bool, runs);
        QTemporaryDir root;
        CronServiceProbe probe{root.filePath(QStringLiteral("proc")),
                               {root.filePath(QStringLiteral("crond.pid"))}};
        for (const QString &process : processes.split(QLatin1Char(' '))) {
            const QString folder =
                probe.processFolder + QLatin1Char('/') + process.section(QLatin1Char(':'), 0, 0);
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(writeFile(folder + QStringLiteral("/comm"),
                              process.section(QLatin1Char(':'), 1).toUtf8() + '\n'));
        }
        if (!pidFile.isEmpty())
            QVERIFY(writeFile(probe.pidFiles.first(), pidFile.toUtf8()));
        QCOMPARE(cronServiceRuns(probe), runs);
    }

    void prefersAnInstalledProgram_data()
    {
        // Folders below a scratch root; "installed" ones have share/quillory beside them.
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("present");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("build tree, nothing installed") << "build/bin"
                                                       << "build/bin/brevnor"
                                                       << "build/bin/brevnor";
        QTest::newRow("build tree, installed in the prefix")
            << "build/bin"
            << "build/bin/brevnor prefix/bin/brevnor"
            << "prefix/bin/brevnor";
        QTest::newRow("build tree, one on the PATH")
            << "build/bin"
            << "build/bin/brevnor path/brevnor prefix/bin/brevnor"
            << "path/brevnor";
        QTest::newRow("installed itself")
            << "usr/bin"
            << "usr/bin/brevnor usr/share/quillory/ path/brevnor prefix/bin/brevnor"
            << "usr/bin/brevnor";
    }

    void prefersAnInstalledProgram()
    {
        QFETCH(QString, running);
        QFETCH(QString, present);
        QFETCH(QString, chosen);
        QTemporaryDir root;
        const QDir at(root.path());
        for (const QString &path : present.split(QLatin1Char(' ')))
            QVERIFY(path.endsWith(QLatin1Char('/')) ? at.mkpath(path)
                                                    : makeProgram(at.filePath(path)));
        QCOMPARE(jobProgramPath(at.filePath(running), {at.filePath(QStringLiteral("path"))},
                                at.filePath(QStringLiteral("prefix/bin"))),
                 at.filePath(chosen));
    }
};

QUILLORY_TEST(JobPrerequisitesTest)
#include "tst_jobprerequisites.moc"
