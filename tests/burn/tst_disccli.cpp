#include "platform/disc/burndiscwriter.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace quillory::test;

namespace {

QStringList imageDrive(const QString &image)
{
    return {QStringLiteral("QUILLORY_DISC_DRIVES=") + image};
}

QMap<QString, QByteArray> extracted(const QString &image, const QString &into)
{
    runProgram(QStringLiteral("xorriso"),
               {QStringLiteral("-osirrox"), QStringLiteral("on"), QStringLiteral("-indev"), image,
                QStringLiteral("-extract"), QStringLiteral("/"), into});
    return treeOf(into);
}

} // namespace

class DiscCliTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void burnsSessionsInfoIsoAndErase()
    {
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("disc.iso"));
        const QString archive = dir.filePath(QStringLiteral("backup.wlm"));
        QDir().mkpath(dir.filePath(QStringLiteral("notes/sub")));
        writeFile(dir.filePath(QStringLiteral("notes/sub/a.txt")), QByteArray("a\n"));
        writeFile(archive, noise(200000, 3));
        const QString cli = QStringLiteral("brevnor-cli");

        const ProgramRun first = runProgram(
            cli,
            {QStringLiteral("burn"), archive, dir.filePath(QStringLiteral("notes")),
             QStringLiteral("--verify"), QStringLiteral("--label"), QStringLiteral("Mine")},
            imageDrive(image));
        QCOMPARE(first.exitCode, 0);
        QVERIFY(first.err.contains("Auto-Verify...Complete (2 of 2 MATCHED)"));

        writeFile(archive, noise(1000, 4));
        const ProgramRun second =
            runProgram(cli, {QStringLiteral("burn"), archive, QStringLiteral("--finalize")},
                       imageDrive(image));
        QCOMPARE(second.exitCode, 0);
        QVERIFY(second.err.contains("An image file stays appendable"));
        QVERIFY(second.err.contains("Writing is complete!"));
        // Added without a label, the session keeps the disc's.
        QVERIFY(runProgram(QStringLiteral("isoinfo"),
                           {QStringLiteral("-d"), QStringLiteral("-i"), image})
                    .out.contains("Volume id: Mine\n"));
        QMap<QString, QByteArray> expected{{QStringLiteral("backup.wlm"), noise(1000, 4)},
                                           {QStringLiteral("notes/"), {}},
                                           {QStringLiteral("notes/sub/"), {}},
                                           {QStringLiteral("notes/sub/a.txt"), "a\n"}};
        QCOMPARE(extracted(image, dir.filePath(QStringLiteral("x"))), expected);

        const ProgramRun info = runProgram(cli, {QStringLiteral("disc-info")}, imageDrive(image));
        QCOMPARE(info.exitCode, 0);
        QVERIFY(info.out.contains("Disc Status: appendable\n"));
        QVERIFY(info.out.contains("Number of Sessions: 2\n"));
        QVERIFY(info.out.contains("Detected File Systems: ISO9660, Joliet\n"));
        QVERIFY(runProgram(cli, {QStringLiteral("drives")}, imageDrive(image))
                    .out.startsWith(
                        (image + QStringLiteral(": Image File  DVD+RW, appendable")).toUtf8()));

        const QString iso = dir.filePath(QStringLiteral("out.iso"));
        QCOMPARE(
            runProgram(cli, {QStringLiteral("iso"), archive, dir.filePath(QStringLiteral("notes")),
                             QStringLiteral("--output"), iso})
                .exitCode,
            0);
        QCOMPARE(extracted(iso, dir.filePath(QStringLiteral("y"))), expected);
        // A name holding a backslash stays one name.
        const QString backslash = dir.filePath(QStringLiteral("a\\b.txt"));
        writeFile(backslash, "b\n");
        QCOMPARE(
            runProgram(cli, {QStringLiteral("iso"), backslash, QStringLiteral("--output"), iso})
                .exitCode,
            0);
        QCOMPARE(extracted(iso, dir.filePath(QStringLiteral("z"))),
                 (QMap<QString, QByteArray>{{QStringLiteral("a\\b.txt"), "b\n"}}));

        QCOMPARE(runProgram(cli, {QStringLiteral("erase")}, imageDrive(image)).exitCode, 0);
        QVERIFY(runProgram(cli, {QStringLiteral("disc-info")}, imageDrive(image))
                    .out.contains("Disc Status: blank\n"));
    }

    // Like a real drive, an image file serves one program at a time, from its first byte: a burn
    // while the window's writer holds it is refused and leaves the file alone.
    void imageFileHeldByAnotherWriter_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::newRow("empty file") << true;
        QTest::newRow("no file yet") << false;
    }
    void imageFileHeldByAnotherWriter()
    {
        QFETCH(bool, exists);
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("disc.iso"));
        const QString file = dir.filePath(QStringLiteral("a.txt"));
        writeFile(file, QByteArray("a\n"));
        const QString cli = QStringLiteral("brevnor-cli");
        if (exists)
            QVERIFY(writeFile(image, QByteArray()));
        qputenv("QUILLORY_DISC_DRIVES", QFile::encodeName(image));
        {
            quillory::BurnDiscWriter holder;
            QVERIFY(holder.InitializeDrives(false));
            QVERIFY(holder.SelectDevice(holder.DeviceCount() - 1));
            QCOMPARE(holder.DeviceDrive(holder.DeviceCount() - 1), image);
            const ProgramRun refused =
                runProgram(cli, {QStringLiteral("burn"), file}, imageDrive(image));
            QCOMPARE(refused.exitCode, 2);
            QVERIFY(refused.err.contains("The image file " + image.toUtf8() +
                                         " is in use by another program."));
            QCOMPARE(QFileInfo(image).size(), 0);
        }
        // A file made only to be held goes with the holder.
        QCOMPARE(QFileInfo::exists(image), exists);
        qunsetenv("QUILLORY_DISC_DRIVES");
        QCOMPARE(runProgram(cli, {QStringLiteral("burn"), file}, imageDrive(image)).exitCode, 0);
    }

    // A write cut off half-way (here by a file size limit, the shell's block being 512 or 1024
    // bytes) is a failure, and the disc keeps what it held.
    void aWriteCutOffFails()
    {
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("disc.iso"));
        const QString archive = dir.filePath(QStringLiteral("backup.wlm"));
        const QString cli = binDir() + QStringLiteral("/brevnor-cli");
        writeFile(archive, noise(100000, 3));
        QCOMPARE(runProgram(cli, {QStringLiteral("burn"), archive}, imageDrive(image)).exitCode, 0);
        const QByteArray before = readFile(image);
        writeFile(archive, noise(4 << 20, 4));
        const ProgramRun cut =
            runProgram(QStringLiteral("sh"),
                       {QStringLiteral("-c"),
                        QStringLiteral("trap '' XFSZ; ulimit -f %1; exec \"$@\"")
                            .arg(before.size() / 512 + 256),
                        QStringLiteral("sh"), cli, QStringLiteral("burn"), archive},
                       imageDrive(image));
        QCOMPARE(cut.exitCode, 1);
        QVERIFY2(cut.err.contains("The write failed") && !cut.err.contains("complete"),
                 cut.err.constData());
        QCOMPARE(readFile(image), before);
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("no files") << QStringList{QStringLiteral("burn")} << QByteArray("no files");
        QTest::newRow("unknown option")
            << QStringList{QStringLiteral("erase"), QStringLiteral("--verify")}
            << QByteArray("unexpected argument --verify");
        QTest::newRow("iso without output")
            << QStringList{QStringLiteral("iso"), QStringLiteral("/etc/hostname")}
            << QByteArray("--output IMAGE is missing");
        QTest::newRow("no such drive")
            << QStringList{QStringLiteral("disc-info"), QStringLiteral("--drive"),
                           QStringLiteral("/nowhere.iso")}
            << QByteArray("There is no recorder /nowhere.iso.");
        QTest::newRow("foreign data on the drive")
            << QStringList{QStringLiteral("burn"), QStringLiteral("/etc/hostname")}
            << QByteArray("Erase it first");
        QTest::newRow("same name twice")
            << QStringList{QStringLiteral("burn"), QStringLiteral("/etc/hostname"),
                           QStringLiteral("/proc/sys/kernel/hostname")}
            << QByteArray("already holds an item of the same name, so nothing was added:\n  "
                          "\\hostname");
    }
    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, message);
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("disc.iso"));
        writeFile(image, noise(100000, 1));
        const ProgramRun run =
            runProgram(QStringLiteral("brevnor-cli"), arguments, imageDrive(image));
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(message), run.err.constData());
    }

    // A listed path that is not an image file is named with the reason.
    void drivesNameThePathsNotUsed()
    {
        QTemporaryDir dir;
        const ProgramRun run = runProgram(
            QStringLiteral("brevnor-cli"), {QStringLiteral("drives")},
            {QStringLiteral("QUILLORY_DISC_DRIVES=") + dir.path() + QStringLiteral(":x.iso")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains(dir.path().toUtf8() + ": not used, a folder\n") &&
                     run.out.contains("x.iso: not used, a relative path\n"),
                 run.out.constData());
    }

    // A folder that cannot be read is named and nothing is written; run as a user without the
    // rights, since the system's administrator reads everything.
    void unreadableFolderRefusesTheBurn()
    {
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        const QString dropped = dir.filePath(QStringLiteral("dropped"));
        QDir().mkpath(dropped + QStringLiteral("/locked"));
        writeFile(dropped + QStringLiteral("/a.txt"), "a\n");
        writeFile(dropped + QStringLiteral("/locked/b.txt"), "b\n");
        QFile::setPermissions(dropped + QStringLiteral("/locked"), QFileDevice::Permissions());
        const QString image = dir.filePath(QStringLiteral("disc.iso"));
        const ProgramRun run =
            runProgram(QStringLiteral("setpriv"),
                       {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                        QStringLiteral("--clear-groups"),
                        QDir(binDir()).filePath(QStringLiteral("brevnor-cli")),
                        QStringLiteral("burn"), dropped},
                       imageDrive(image));
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains("cannot be read, so nothing was added:\n  " + dropped.toUtf8() +
                                  "/locked\n"),
                 run.err.constData());
        QVERIFY(!QFileInfo::exists(image));
    }

    // A stop request cancels a burn or an image: the medium or the old file stays as it was.
    void stopRequestLeavesEverythingAsItWas_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("burn") << QStringLiteral("burn");
        QTest::newRow("iso") << QStringLiteral("iso");
    }
    void stopRequestLeavesEverythingAsItWas()
    {
        QFETCH(QString, command);
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("disc.iso"));
        const QString small = dir.filePath(QStringLiteral("small.txt"));
        writeFile(small, "small\n");
        QCOMPARE(runProgram(QStringLiteral("brevnor-cli"), {QStringLiteral("burn"), small},
                            imageDrive(image))
                     .exitCode,
                 0);
        const QByteArray before = readFile(image);
        const QString big = dir.filePath(QStringLiteral("big.wlm"));
        QFile sparse(big);
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(3) << 30));
        sparse.close();

        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUILLORY_DISC_DRIVES"), image);
        run.setProcessEnvironment(environment);
        QStringList arguments{command, big};
        if (command == QLatin1String("iso"))
            arguments << QStringLiteral("--output") << image;
        run.start(QDir(binDir()).filePath(QStringLiteral("brevnor-cli")), arguments);
        // On a pipe no progress is printed: the write is under way once the big file is open.
        const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(run.processId()));
        const auto reading = [&] {
            for (const QFileInfo &descriptor :
                 descriptors.entryInfoList(QDir::AllEntries | QDir::System))
                if (descriptor.symLinkTarget() == QFileInfo(big).canonicalFilePath())
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(reading(), 30000);
        ::kill(pid_t(run.processId()), SIGTERM);
        QVERIFY(run.waitForFinished(60000));
        const QByteArray err = run.readAllStandardError();
        QCOMPARE(run.exitCode(), 2);
        QVERIFY2(err.contains("stopped by SIGTERM"), err.constData());
        QCOMPARE(readFile(image), before);
    }
};

QUILLORY_TEST(DiscCliTest)
#include "tst_disccli.moc"
