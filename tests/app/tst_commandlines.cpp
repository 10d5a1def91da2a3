#include "platform/zip/ziparchive.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillory;
using namespace quillory::test;

// The command lines of brevnor's unattended run and of brevnor-cli, as a scheduler, a script or
// a careless hand gives them.
class CommandLinesTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_startFolder;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(makeSampleProfile(path(u"prefix"_s)));
        // Drive D: of the prefix, as Wine's configuration makes one.
        QVERIFY(QDir().mkpath(path(u"ddrive/b"_s)));
        QVERIFY(QFile::link(path(u"ddrive"_s), path(u"prefix/dosdevices/d:"_s)));
        QVERIFY(QDir().mkpath(path(u"share"_s)));
        QVERIFY(QFile::link(path(u"share/mail.wlm"_s), path(u"latest.wlm"_s)));
        // Where the programs are started: nothing may appear in it.
        QVERIFY(QDir().mkpath(path(u"work"_s)));
        m_startFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(path(u"work"_s)));
    }

    void cleanupTestCase() { QDir::setCurrent(m_startFolder); }

    void commandLines_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QString>("archive"); // relative to the test's folder; must open
        const QString rules = u"sf=annaxm=0100000000ps=bf="_s;
        const QString cli = u"brevnor-cli"_s;
        const QStringList none;

        QTest::newRow("Windows path through the prefix's drive")
            << u"brevnor"_s << QStringList{rules + u"D:\\b\\mail.wlm"_s} << none << 0 << QString()
            << u"ddrive/b/mail.wlm"_s;
        QTest::newRow("drive the prefix does not have")
            << u"brevnor"_s << QStringList{rules + u"Q:\\b\\mail.wlm"_s} << none << 2
            << u"drive that the Wine prefix"_s << QString();
        QTest::newRow("relative path") << u"brevnor"_s << QStringList{rules + u"mail.wlm"_s} << none
                                       << 2 << u"not a full path"_s << QString();
        QTest::newRow("target that is a link")
            << u"brevnor"_s << QStringList{rules + path(u"latest.wlm"_s)} << none << 0 << QString()
            << u"share/mail.wlm"_s;
        QTest::newRow("TMPDIR that does not exist")
            << cli << QStringList{u"backup"_s, path(u"tmpdir.wlm"_s), u"--items"_s, u"1"_s}
            << QStringList{u"TMPDIR="_s + path(u"nowhere"_s)} << 0 << QString() << u"tmpdir.wlm"_s;
        QTest::newRow("no argument text, no display")
            << u"brevnor"_s << QStringList{QString()}
            << QStringList{u"DISPLAY="_s, u"WAYLAND_DISPLAY="_s, u"QT_QPA_PLATFORM="_s} << 2
            << u"needs a display"_s << QString();
        QTest::newRow("help") << u"brevnor"_s << QStringList{u"--help"_s} << none << 0
                              << u"brevnor --job FILE"_s << QString();
        QTest::newRow("unknown option")
            << u"brevnor"_s << QStringList{u"--frobnicate"_s, u"sf=annaxm=1ps=SECRET"_s} << none
            << 2 << u"unknown option --frobnicate\n\nUsage: brevnor"_s << QString();
        QTest::newRow("password as a command") << cli << QStringList{u"--password=SECRET"_s} << none
                                               << 2 << u"\"--password\""_s << QString();
        QTest::newRow("password as an option")
            << cli << QStringList{u"backup"_s, u"x.wlm"_s, u"--password=SECRET"_s} << none << 2
            << u"\"--password\""_s << QString();
        QTest::newRow("value for an option that takes none")
            << cli << QStringList{u"backup"_s, u"x.wlm"_s, u"--protect"_s, u"SECRET"_s} << none << 2
            << u"only one archive"_s << QString();
        for (const QString &command : {u"backup"_s, u"restore"_s, u"info"_s, u"profile"_s})
            QTest::newRow(qPrintable(command + u" --help"_s))
                << cli << QStringList{command, u"--help"_s} << none << 0
                << u"Usage: brevnor-cli "_s + command << QString();
    }

    void commandLines()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(int, status);
        QFETCH(QString, says);
        QFETCH(QString, archive);
        QVERIFY(writeFile(path(u"share/mail.wlm"_s), "the old archive"));

        const ProgramRun run = runProgram(
            program, arguments, QStringList{u"WINEPREFIX="_s + path(u"prefix"_s)} + environment);
        const QString output = QString::fromLocal8Bit(run.out + run.err);
        QVERIFY2(run.exitCode == status, qPrintable(output));
        QVERIFY2(output.contains(says), qPrintable(output));
        QVERIFY2(!output.contains(u"SECRET"_s), qPrintable(output));
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        QVERIFY(QFileInfo(path(u"latest.wlm"_s)).isSymLink());
        if (!archive.isEmpty()) {
            ZipArchive written;
            QVERIFY2(written.OpenArchive(path(archive)), qPrintable(written.OpenError()));
            QVERIFY(written.entryNames().contains(u"krvstore.dat"_s));
        }
    }
};

QUILLORY_TEST(CommandLinesTest)
#include "tst_commandlines.moc"
