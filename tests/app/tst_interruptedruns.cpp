#include "app/profilelock.h"
#include "platform/runownedname.h"
#include "platform/zip/ziparchive.h"
#include "support/testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quillory;
using namespace quillory::test;

namespace {

// What a test waits for before it signals a run is a sign of that run's own (named with its
// process id), which appears well within a second; the bound only keeps a fault that stops it
// from appearing from hanging the suite, also on a loaded machine.
constexpr int appearsWithinMs = 60000;

// The names of everything below `root`, without reading any of it.
QString namesBelow(const QString &root)
{
    QStringList names;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names.append(it.next());
    return names.join(u'\n');
}

QStringList namesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

// Runs stopped by a signal, or killed outright, leave nothing behind once the next run is done.
class InterruptedRunsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Whether the run `process` is writing the archive `name`: its new copy lies beside it. What
    // an earlier, killed run left there is no sign of this one.
    bool beingWritten(const QString &name, const QProcess &process) const
    {
        return !QDir(m_dir.path())
                    .entryList({name + u".quillory-%1@*"_s.arg(process.processId())},
                               QDir::Files | QDir::Hidden)
                    .isEmpty();
    }
    // Whether the run `process` is replacing an account folder of the store.
    bool restoring(const QProcess &process) const
    {
        return !QDir(store())
                    .entryList({u".*.restoring-%1@*"_s.arg(process.processId())},
                               QDir::Dirs | QDir::Hidden)
                    .isEmpty();
    }
    QString prefix() const { return path(u"prefix"_s); }
    QString store() const
    {
        return path(u"prefix/drive_c/users/anna/AppData/Local/Microsoft/Windows Live Mail"_s);
    }
    QStringList environment(const QString &temp) const
    {
        return {u"WINEPREFIX="_s + prefix(), u"TMPDIR="_s + temp, u"QUILLORY_PASSWORD="_s};
    }

    QString otherPrefix() const { return path(u"other"_s); }
    QString home() const { return QDir(store()).filePath(u"Home"_s); }
    // Made once: `earlier` holds the accounts and contacts as `m_earlierHome` shows them,
    // `later` holds one message more.
    QString earlier() const { return path(u"earlier.wlm"_s); }
    QString later() const { return path(u"later.wlm"_s); }
    QMap<QString, QByteArray> m_earlierHome;

    // Starts a program of the project on the profile, for a signal to reach it while it works.
    bool start(QProcess &process, const QString &program, const QStringList &arguments,
               const QString &temp, const QStringList &extra = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // As runProgram reads them: "NAME=" alone removes NAME.
        for (const QString &assignment : environment(temp) + extra) {
            const QString value = assignment.section(u'=', 1);
            if (value.isEmpty())
                env.remove(assignment.section(u'=', 0, 0));
            else
                env.insert(assignment.section(u'=', 0, 0), value);
        }
        process.setProcessEnvironment(env);
        process.start(QDir(binDir()).filePath(program), arguments);
        return process.waitForStarted(-1);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Large enough that a backup is still writing when the signal comes.
        QVERIFY(makeSampleProfile(prefix(), {u"--accounts"_s, u"2"_s, u"--messages"_s, u"300"_s,
                                             u"--attachments"_s, u"1"_s, u"--attachment-size"_s,
                                             u"200000"_s}));
        QVERIFY(QFileInfo(store()).isDir());
        QVERIFY(writeFile(path(u"password"_s), "secret\n"));
        QVERIFY(makeSampleProfile(otherPrefix()));

        const QStringList items{u"--items"_s, u"accounts,contacts"_s};
        const ProgramRun first =
            runProgram(u"brevnor-cli"_s, QStringList{u"backup"_s, earlier()} + items,
                       environment(m_dir.path()));
        QVERIFY2(first.exitCode == 0, first.err.constData());
        m_earlierHome = treeOf(home());
        const QString added = QDir(home()).filePath(u"added.eml"_s);
        QVERIFY(writeFile(added, "one message more"));
        const ProgramRun second = runProgram(
            u"brevnor-cli"_s, QStringList{u"backup"_s, later()} + items, environment(m_dir.path()));
        QVERIFY2(second.exitCode == 0, second.err.constData());
        QVERIFY(QFile::remove(added));
    }

    // While one backup or restore of a profile is under way (stopped in the middle here, so that
    // it surely is), another of that profile is refused at once; one of another profile is not.
    void secondRunOfAProfile_data()
    {
        QTest::addColumn<bool>("firstRestores");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("otherProfile");
        const QString fresh = path(u"second.wlm"_s);
        const QStringList backup{u"backup"_s, fresh, u"--items"_s, u"accounts"_s};
        const QStringList restore{u"restore"_s, later()};
        const QStringList unattended{u"sf=annaxm=1000000000ps=bf="_s + fresh};
        QTest::newRow("restore, then a restore") << true << u"brevnor-cli"_s << restore << false;
        QTest::newRow("restore, then a backup") << true << u"brevnor-cli"_s << backup << false;
        QTest::newRow("restore, then an unattended backup")
            << true << u"brevnor"_s << unattended << false;
        QTest::newRow("backup, then a restore") << false << u"brevnor-cli"_s << restore << false;
        QTest::newRow("backups of two profiles to one archive")
            << false << u"brevnor-cli"_s
            << QStringList{u"backup"_s, path(u"first.wlm"_s), u"--items"_s, u"accounts"_s} << true;
    }

    void secondRunOfAProfile()
    {
        QFETCH(bool, firstRestores);
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(bool, otherProfile);
        QTemporaryDir temp;
        const QString fresh = path(u"second.wlm"_s);
        QFile::remove(fresh);
        const QMap<QString, QByteArray> before = treeOf(home());

        QProcess first;
        QVERIFY(start(first, u"brevnor-cli"_s,
                      firstRestores ? QStringList{u"restore"_s, earlier()}
                                    : QStringList{u"backup"_s, path(u"first.wlm"_s), u"--items"_s,
                                                  u"accounts"_s},
                      temp.path()));
        if (firstRestores)
            QTRY_VERIFY_WITH_TIMEOUT(restoring(first), appearsWithinMs);
        else
            QTRY_VERIFY_WITH_TIMEOUT(beingWritten(u"first.wlm"_s, first), appearsWithinMs);
        QCOMPARE(::kill(pid_t(first.processId()), SIGSTOP), 0);

        QTemporaryDir otherTemp;
        QStringList environment = this->environment(otherTemp.path());
        if (otherProfile)
            environment.append(u"WINEPREFIX="_s + otherPrefix());
        const ProgramRun second = runProgram(program, arguments, environment);
        QCOMPARE(::kill(pid_t(first.processId()), SIGCONT), 0);
        QVERIFY(first.waitForFinished(-1));
        QCOMPARE(first.exitCode(), 0);

        if (otherProfile) {
            QVERIFY2(second.exitCode == 0, second.err.constData());
            return;
        }
        QCOMPARE(second.exitCode, 2);
        QVERIFY2(second.err.contains(profileBusyText.toUtf8()), second.err.constData());
        QVERIFY(!second.out.contains("Completed"));
        QVERIFY(!QFileInfo::exists(fresh));
        QCOMPARE(namesIn(otherTemp.path()), QStringList());
        QCOMPARE(treeOf(home()), firstRestores ? m_earlierHome : before);
    }

    // The lock goes with the process that held it, however it ended.
    void aKilledRunHoldsNothing()
    {
        QTemporaryDir temp;
        QProcess killed;
        QVERIFY(start(killed, u"brevnor-cli"_s, {u"restore"_s, earlier()}, temp.path()));
        QTRY_VERIFY_WITH_TIMEOUT(restoring(killed), appearsWithinMs);
        QCOMPARE(::kill(pid_t(killed.processId()), SIGKILL), 0);
        QVERIFY(killed.waitForFinished(-1));

        const ProgramRun next =
            runProgram(u"brevnor-cli"_s, {u"restore"_s, earlier()}, environment(temp.path()));
        QVERIFY2(next.exitCode == 0, next.err.constData());
        QCOMPARE(treeOf(home()), m_earlierHome);
    }

    void signalDuringProtectedBackup_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("signal");
        const QString archive = path(u"signalled.wlm"_s);
        const QStringList cli{u"backup"_s, archive, u"--password-file"_s, path(u"password"_s)};
        const QStringList unattended{u"sf=annaxm=1111111111ps=secretbf="_s + archive};
        QTest::newRow("brevnor-cli, SIGTERM") << u"brevnor-cli"_s << cli << int(SIGTERM);
        QTest::newRow("brevnor-cli, SIGINT") << u"brevnor-cli"_s << cli << int(SIGINT);
        QTest::newRow("unattended, SIGTERM") << u"brevnor"_s << unattended << int(SIGTERM);
        QTest::newRow("unattended, SIGHUP") << u"brevnor"_s << unattended << int(SIGHUP);
    }

    void signalDuringProtectedBackup()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, signal);
        QTemporaryDir temp;
        const QString archive = path(u"signalled.wlm"_s);
        const QByteArray old = noise(5000, 3);
        QVERIFY(writeFile(archive, old));

        QProcess run;
        QVERIFY(start(run, program, arguments, temp.path()));
        // Signalled once the archive is being written, well before it is done.
        QTRY_VERIFY_WITH_TIMEOUT(beingWritten(u"signalled.wlm"_s, run), appearsWithinMs);
        QCOMPARE(::kill(pid_t(run.processId()), signal), 0);
        QVERIFY(run.waitForFinished(-1));

        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 2);
        QVERIFY2(run.readAllStandardError().contains("stopped by"), "the reason is given");
        QCOMPARE(
            QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList());
        QCOMPARE(readFile(archive), old);
        QCOMPARE(QDir(m_dir.path()).entryList({u"signalled.wlm.*"_s}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    void signalToTheWindow()
    {
        QTemporaryDir temp;
        QTemporaryDir runtime; // Qt's own, kept apart from the temporary folder
        QProcess window;
        QVERIFY(start(window, u"brevnor"_s, {}, temp.path(),
                      {u"QT_QPA_PLATFORM=offscreen"_s, u"XDG_RUNTIME_DIR="_s + runtime.path()}));
        // The window stages from its start, for the archive opened on the Restore tab.
        QTRY_VERIFY_WITH_TIMEOUT(namesBelow(temp.path()).contains(u"quillory-"_s), appearsWithinMs);
        QCOMPARE(::kill(pid_t(window.processId()), SIGTERM), 0);
        QVERIFY(window.waitForFinished(-1));
        QCOMPARE(window.exitStatus(), QProcess::NormalExit);
        QCOMPARE(window.exitCode(), 2);
        QCOMPARE(namesBelow(temp.path()), QString());
    }

    // A restore stops between items, never within one: the item under way is finished, those
    // after it are named as not restored. Stopped in its last item, it has nothing left undone.
    void signalDuringRestore_data()
    {
        QTest::addColumn<QString>("items");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("report");
        QTest::newRow("an item after it")
            << u"accounts,contacts"_s << 2 << u"Restore Contacts\tNot restored"_s;
        QTest::newRow("the last item") << u"accounts"_s << 0 << u"The Restore was Completed!"_s;
    }

    void signalDuringRestore()
    {
        QFETCH(QString, items);
        QFETCH(int, exitCode);
        QFETCH(QString, report);
        QTemporaryDir temp;
        const QDir store(this->store());

        QProcess run;
        QVERIFY(start(run, u"brevnor-cli"_s, {u"restore"_s, earlier(), u"--items"_s, items},
                      temp.path()));
        // Signalled while an account folder is being replaced.
        QTRY_VERIFY_WITH_TIMEOUT(restoring(run), appearsWithinMs);
        QCOMPARE(::kill(pid_t(run.processId()), SIGTERM), 0);
        QVERIFY(run.waitForFinished(-1));

        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), exitCode);
        const QString out = QString::fromUtf8(run.readAllStandardOutput());
        QVERIFY2(out.contains(
                     u"Restore Mail Accounts & Messages/News Accounts & Messages\tSuccessed!"_s),
                 qPrintable(out));
        QVERIFY2(out.contains(report), qPrintable(out));
        QCOMPARE(run.readAllStandardError().contains("stopped by SIGTERM"), exitCode != 0);
        QCOMPARE(store.entryList({u".*.restoring-*"_s}, QDir::Dirs | QDir::Hidden), QStringList());
        QCOMPARE(treeOf(home()), m_earlierHome);
        QCOMPARE(namesIn(temp.path()), QStringList());
    }

    // Once the new archive is in place the backup is done: a signal then changes nothing of it.
    void signalOnceTheArchiveIsInPlace_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        const QString archive = path(u"placed.wlm"_s);
        QTest::newRow("brevnor-cli")
            << u"brevnor-cli"_s
            << QStringList{u"backup"_s, archive, u"--items"_s, u"mailrules,contacts"_s};
        QTest::newRow("unattended")
            << u"brevnor"_s << QStringList{u"sf=annaxm=0100010000ps=bf="_s + archive};
    }

    void signalOnceTheArchiveIsInPlace()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QTemporaryDir temp;
        const QString archive = path(u"placed.wlm"_s);
        QVERIFY(writeFile(archive, "old"));
        const QString strace = QStandardPaths::findExecutable(u"strace"_s);
        QVERIFY2(!strace.isEmpty(), "strace is installed");
        const QString log = path(u"placed.strace"_s);

        // Without accounts the run renames twice: the archive into its temporary name beside
        // the target, then onto the target. strace sends SIGTERM as the second is made.
        QProcess traced;
        QVERIFY(start(traced, strace,
                      QStringList{u"-f"_s, u"-qq"_s, u"-o"_s, log, u"-e"_s,
                                  u"trace=rename,renameat,renameat2"_s, u"-e"_s,
                                  u"inject=rename,renameat,renameat2:signal=SIGTERM:when=2"_s,
                                  QDir(binDir()).filePath(program)} +
                          arguments,
                      temp.path()));
        QVERIFY(traced.waitForFinished(-1));

        const QString trace = QString::fromUtf8(readFile(log));
        const QRegularExpression signalledOnceInPlace(u"rename[^\n]*, \""_s +
                                                      QRegularExpression::escape(archive) +
                                                      u"\"\\) = 0\n[^\n]*--- SIGTERM"_s);
        QVERIFY2(signalledOnceInPlace.match(trace).hasMatch(), qPrintable(trace));
        const QByteArray err = traced.readAllStandardError();
        QCOMPARE(traced.exitCode(), 0);
        QVERIFY2(!err.contains("stopped"), err.constData());
        ZipArchive written;
        QVERIFY(written.OpenArchive(archive));
        QVERIFY(written.entryNames().contains(u"krvstore.dat"_s));
        QCOMPARE(namesIn(temp.path()), QStringList());
    }

    // Past the file size limit the write fails as on a full disk: the reason is given, and
    // nothing is left behind.
    void fileSizeLimit()
    {
        QTemporaryDir temp;
        const QString archive = path(u"limited.wlm"_s);
        const QByteArray old = noise(5000, 4);
        QVERIFY(writeFile(archive, old));

        QProcess run;
        run.setChildProcessModifier([] {
            const rlimit limit{1 << 20, 1 << 20};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        QVERIFY(start(run, u"brevnor-cli"_s, {u"backup"_s, archive, u"--items"_s, u"accounts"_s},
                      temp.path()));
        QVERIFY(run.waitForFinished(-1));

        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 2);
        const QByteArray err = run.readAllStandardError();
        QVERIFY2(err.contains("File too large"), err.constData());
        QCOMPARE(readFile(archive), old);
        QCOMPARE(namesIn(temp.path()), QStringList());
        QCOMPARE(QDir(m_dir.path()).entryList({u"limited.wlm.*"_s}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    void leftoversOfKilledRuns()
    {
        QTemporaryDir temp;
        const qint64 goneRun = gonePid();
        QVERIFY(goneRun > 0);
        const QString gone = QString::number(goneRun);
        const QString alive = QString::number(QCoreApplication::applicationPid());
        const QString archive = path(u"next.wlm"_s);
        const QString here = runOwnedSuffix().section(u'@', 1).section(u'-', 0, 0);
        const QDir store(this->store());
        const QString moved = u"Home"_s;    // moved aside by the killed restore
        const QString replaced = u"Work"_s; // already replaced when it was killed
        QVERIFY(QFileInfo(store.filePath(moved)).isDir());
        QVERIFY(QFileInfo(store.filePath(replaced)).isDir());
        const QMap<QString, QByteArray> movedTree = treeOf(store.filePath(moved));

        struct Leftover {
            QString path;
            bool kept;
        };
        const QString movedWork =
            store.filePath(u"."_s + moved + u".restoring-"_s + gone + u"-1"_s);
        const QList<Leftover> leftovers{
            {temp.filePath(u"quillory-"_s + gone + u"-AbC123/krvstore.dat"_s), false},
            {temp.filePath(u"quillory-"_s + alive + u"-AbC123/krvstore.dat"_s), true},
            {archive + u".quillory-"_s + gone + u"-0badf00d"_s, false},
            {archive + u".quillory-"_s + gone + u"-0badf00d.x1Y2z3"_s, false},
            {archive + u".quillory-"_s + alive + u"-0badf00d"_s, true},
            {prefix() + u"/user.reg.quillory-"_s + gone + u"-7f"_s, false},
            {prefix() + u"/system.reg.quillory-"_s + gone + u"-7f"_s, false},
            {prefix() + u"/user.reg.quillory-"_s + alive + u"-7f"_s, true},
            {store.filePath(u"."_s + replaced + u".restoring-"_s + gone + u"-2/old/x.eml"_s),
             false},
            {store.filePath(u"."_s + replaced + u".restoring-"_s + alive + u"-3/new/x.eml"_s),
             true},
            // Named with the machine, as runs now name theirs: another machine's run sharing the
            // folder may be alive whatever its process id says here.
            {prefix() + u"/user.reg.quillory-"_s + gone + u'@' + here + u"-7f"_s, false},
            {archive + u".quillory-"_s + gone + u"@0000beef-0badf00d"_s, true},
            {store.filePath(u"."_s + replaced + u".restoring-"_s + gone +
                            u"@0000beef-0badf00d/new/x.eml"_s),
             true},
        };
        for (const Leftover &leftover : leftovers) {
            QVERIFY(QDir().mkpath(QFileInfo(leftover.path).path()));
            QVERIFY(writeFile(leftover.path, "left behind"));
        }
        QVERIFY(QDir().mkpath(movedWork + u"/new"_s));
        QVERIFY(QDir().rename(store.filePath(moved), movedWork + u"/old"_s));

        const ProgramRun next =
            runProgram(u"brevnor-cli"_s, {u"backup"_s, archive}, environment(temp.path()));
        QVERIFY2(next.exitCode == 0, next.err.constData());

        for (const Leftover &leftover : leftovers)
            QVERIFY2(QFileInfo::exists(leftover.path) == leftover.kept, qPrintable(leftover.path));
        QVERIFY(!QFileInfo::exists(movedWork));
        QCOMPARE(treeOf(store.filePath(moved)), movedTree);
        ZipArchive written;
        QVERIFY(written.OpenArchive(archive));
        const QStringList entries = written.entryNames();
        QVERIFY(entries.contains(moved + u".zip"_s));
        for (const QString &entry : entries)
            QVERIFY2(!entry.contains(u"restoring-"_s + gone), qPrintable(entry));
    }
};

QUILLORY_TEST(InterruptedRunsTest)
#include "tst_interruptedruns.moc"
