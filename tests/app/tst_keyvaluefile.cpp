#include "app/keyvaluefile.h"
#include "app/stagingfolder.h"
#include "app/tempfile.h"
#include "platform/zip/ziparchive.h"
#include "platform/zip/zipentry.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace quillory;
using quillory::test::readFile;
using quillory::test::writeFile;

class KeyValueFileTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void savesAppendLinesWithCrLf()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("info.dat"));
        QVERIFY(SaveINI(QStringLiteral("BackupTime"), QStringLiteral("1/2/2009"), path));
        QVERIFY(SaveINI(QStringLiteral("Note"), QStringLiteral("Grüße a=b"), path));
        QVERIFY(SaveINI(QStringLiteral("BackupTime"), QStringLiteral("again"), path));
        QCOMPARE(readFile(path), QByteArray("BackupTime=1/2/2009\r\nNote=Gr\xc3\xbc\xc3\x9f"
                                            "e a=b\r\nBackupTime=again\r\n"));
    }

    void saveFailsOnUnwritableFile()
    {
        QTemporaryDir dir;
        QVERIFY(!SaveINI(QStringLiteral("a"), QStringLiteral("b"),
                         dir.filePath(QStringLiteral("missing/sub/file"))));
    }

    void readerRules_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first occurrence wins, any case")
            << QByteArray("BackupTime=1/2/2009\r\nbackuptime=x\r\n") << "BACKUPTIME"
            << "1/2/2009";
        QTest::newRow("value keeps later equals signs")
            << QByteArray("BackupInformation=a=b\r\n") << "BackupInformation"
            << "a=b";
        QTest::newRow("stops at an empty first line")
            << QByteArray("\r\nBackupTime=1\r\n") << "BackupTime"
            << "";
        QTest::newRow("stops at an empty line in the middle")
            << QByteArray("a=1\r\n\r\nb=2\r\n") << "b"
            << "";
        QTest::newRow("lines without equals are skipped") << QByteArray("garbage\r\nb=2\r\n") << "b"
                                                          << "2";
        QTest::newRow("missing key") << QByteArray("a=1\r\n") << "b"
                                     << "";
        QTest::newRow("empty file") << QByteArray() << "a"
                                    << "";
        QTest::newRow("LF line ends and no final break") << QByteArray("a=1\nb=2") << "b"
                                                         << "2";
        QTest::newRow("UTF-8 value") << QByteArray("Who=J\xc3\xb6rg\r\n") << "who"
                                     << "Jörg";
        QTest::newRow("key is the text before the first equals sign")
            << QByteArray("a=b=c\r\n") << "a=b"
            << "";
    }

    void readerRules()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("info.dat"));
        QVERIFY(writeFile(path, content));
        const Expected<QString> value = GetINI(key, path);
        QVERIFY(value.ok());
        QCOMPARE(*value, expected);
    }

    void readingAMissingFileFails()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("none.dat"));
        QVERIFY(!GetINI(QStringLiteral("a"), path).ok());
        QVERIFY(!QFileInfo::exists(path));
    }

    void tempFilesAreFreshPrivateAndDistinct()
    {
        StagingFolder staging;
        QVERIFY(staging.isValid());
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(staging.path()).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);

        const QString a = sGetTempFile(QStringLiteral("OBR"), staging.path());
        const QString b = sGetTempFile(QStringLiteral("OBRX"), staging.path());
        QVERIFY(!a.isEmpty() && !b.isEmpty());
        QVERIFY(a != b);
        // The information file and the nested archives are made there too.
        const QString info = staging.filePath(QStringLiteral("krvstore.dat"));
        QVERIFY(SaveINI(QStringLiteral("BackupItem"), QStringLiteral("0100000000"), info));
        const QString nested = staging.filePath(QStringLiteral("Work.zip"));
        ZipArchive Zip2;
        QVERIFY(Zip2.CreateArchive(nested));
        QVERIFY(Zip2.AddFiles(info));
        QVERIFY(Zip2.WriteArchive());
        // And what a restore takes out of an archive.
        const QString extracted = staging.filePath(QStringLiteral("again/krvstore.dat"));
        QVERIFY(QDir().mkdir(staging.filePath(QStringLiteral("again")),
                             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(Zip2.OpenArchive(nested));
        const Expected<ZipEntry> entry = Zip2.FindEntry(QStringLiteral("krvstore.dat"));
        QVERIFY(entry);
        QVERIFY(entry->ExtractInto(QFileInfo(extracted).path()));
        for (const QString &path : {info, nested, extracted}) {
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 0777), 0600);
        }
        for (const QString &path : {a, b}) {
            const QFileInfo info(path);
            QCOMPARE(info.absolutePath(), staging.path());
            QVERIFY(info.fileName().startsWith(QLatin1String("OBR")));
            QVERIFY(info.fileName().endsWith(QLatin1String(".tmp")));
            bool hex = false;
            info.fileName().mid(3).chopped(4).toUInt(&hex, 16);
            QVERIFY(hex);
            QCOMPARE(info.size(), 0);
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 0777), 0600);
        }
    }

    void tempFileInAMissingFolderIsEmptyText()
    {
        QTemporaryDir dir;
        QCOMPARE(sGetTempFile(QStringLiteral("OBS"), dir.filePath(QStringLiteral("gone"))),
                 QString());
    }

    void stagingFolderDisappearsWithTheRun()
    {
        QString path;
        {
            StagingFolder staging;
            path = staging.path();
            QVERIFY(writeFile(staging.filePath(QStringLiteral("sub/krvstore.dat")), "x"));
        }
        QVERIFY(!QFileInfo::exists(path));
    }
};

QUILLORY_TEST(KeyValueFileTest)
#include "tst_keyvaluefile.moc"
