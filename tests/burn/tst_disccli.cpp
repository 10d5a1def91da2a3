#include "platform/disc/burndiscwriter.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

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
        QCOMPARE(runProgram(cli, {QStringLiteral("burn"), archive}, imageDrive(image)).exitCode, 0);
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

        QCOMPARE(runProgram(cli, {QStringLiteral("erase")}, imageDrive(image)).exitCode, 0);
        QVERIFY(runProgram(cli, {QStringLiteral("disc-info")}, imageDrive(image))
                    .out.contains("Disc Status: blank\n"));
    }

    // Like a real drive, an image file serves one program at a time: a burn while the window's
    // writer holds it is refused and leaves the file alone.
    void imageFileHeldByAnotherWriter()
    {
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("disc.iso"));
        const QString file = dir.filePath(QStringLiteral("a.txt"));
        writeFile(file, QByteArray("a\n"));
        const QString cli = QStringLiteral("brevnor-cli");
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
            QVERIFY(refused.err.contains("is in use by another program"));
            QCOMPARE(QFileInfo(image).size(), 0);
        }
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
};

QUILLORY_TEST(DiscCliTest)
#include "tst_disccli.moc"
