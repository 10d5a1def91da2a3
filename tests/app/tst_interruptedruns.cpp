#include "platform/zip/ziparchive.h"
#include "support/testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quillory;
using namespace quillory::test;

namespace {

// What a test waits for before it signals a run appears well within a second; a fault that keeps
// it from appearing fails the test soon.
constexpr int appearsWithinMs = 10000;

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

// The process id of a process that has ended: nothing of its own can still be in use.
qint64 gonePid()
{
    QProcess process;
    process.start(u"true"_s, {});
    process.waitForStarted(-1);
    const qint64 pid = process.processId();
    process.waitForFinished(-1);
    return pid;
}

} // namespace

// Runs stopped by a signal, or killed outright, leave nothing behind once the next run is done.
class InterruptedRunsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString prefix() const { return path(u"prefix"_s); }
    QString store() const
    {
        return path(u"prefix/drive_c/users/anna/AppData/Local/Microsoft/Windows Live Mail"_s);
    }
    QStringList environment(const QString &temp) const
    {
        return {u"WINEPREFIX="_s + prefix(), u"TMPDIR="_s + temp, u"QUILLORY_PASSWORD="_s};
    }

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
        // Signalled once the nested archives are being built, well before the archive is done.
        QTRY_VERIFY_WITH_TIMEOUT(namesBelow(temp.path()).contains(u".zip"_s), appearsWithinMs);
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

    void signalDuringRestore()
    {
        QTemporaryDir temp;
        const QString archive = path(u"restore.wlm"_s);
        const QDir store(this->store());
        const ProgramRun backup =
            runProgram(u"brevnor-cli"_s, {u"backup"_s, archive, u"--items"_s, u"accounts"_s},
                       environment(temp.path()));
        QVERIFY2(backup.exitCode == 0, backup.err.constData());
        const QMap<QString, QByteArray> home = treeOf(store.filePath(u"Home"_s));
        const QMap<QString, QByteArray> work = treeOf(store.filePath(u"Work"_s));

        QProcess run;
        QVERIFY(start(run, u"brevnor-cli"_s, {u"restore"_s, archive}, temp.path()));
        const QStringList restoring{u".*.restoring-*"_s};
        // Signalled while an account folder is being replaced.
        QTRY_VERIFY_WITH_TIMEOUT(!store.entryList(restoring, QDir::Dirs | QDir::Hidden).isEmpty(),
                                 appearsWithinMs);
        QCOMPARE(::kill(pid_t(run.processId()), SIGTERM), 0);
        QVERIFY(run.waitForFinished(-1));

        // The restore finishes rather than leave a folder half replaced, then says it was stopped.
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 2);
        QVERIFY(run.readAllStandardError().contains("stopped by SIGTERM"));
        QCOMPARE(store.entryList(restoring, QDir::Dirs | QDir::Hidden), QStringList());
        QCOMPARE(treeOf(store.filePath(u"Home"_s)), home);
        QCOMPARE(treeOf(store.filePath(u"Work"_s)), work);
        QCOMPARE(
            QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
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
