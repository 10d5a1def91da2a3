#include "app/keyvaluefile.h"
#include "backup/autobackupcommandline.h"
#include "backup/backupinfo.h"
#include "support/testsupport.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quillory;

class BackupInfoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyLineBreakBecomesOneMark_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("stored");
        QTest::newRow("CR LF") << "a\r\nb"
                               << "aPS$KRVb";
        QTest::newRow("lone LF") << "a\nb"
                                 << "aPS$KRVb";
        QTest::newRow("lone CR") << "a\rb"
                                 << "aPS$KRVb";
        QTest::newRow("three lines") << "a\nb\r\nc"
                                     << "aPS$KRVbPS$KRVc";
        QTest::newRow("LF CR is two breaks") << "a\n\rb"
                                             << "aPS$KRVPS$KRVb";
        QTest::newRow("planted key stays on the line") << "x\nBackupItem=1111111111"
                                                       << "xPS$KRVBackupItem=1111111111";
    }

    void everyLineBreakBecomesOneMark()
    {
        QFETCH(QString, description);
        QFETCH(QString, stored);
        QCOMPARE(encodeDescription(description), stored);
    }

    void headerLinesCannotBeForgedByTheDescription()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(backupInfoFileName);
        QVERIFY(test::writeFile(path, "stale=1\r\n"));
        QVERIFY(writeBackupInfoHeader(path, QStringLiteral("pc"), QStringLiteral("anna"),
                                      QDateTime(QDate(2009, 2, 3), QTime(13, 5, 7)),
                                      QStringLiteral("first\nBackupItem=1111111111\rlast")));
        QVERIFY(SaveINI(QStringLiteral("BackupItem"), QStringLiteral("0000000000"), path));
        const QByteArray content = test::readFile(path);
        QVERIFY(!content.contains("stale"));
        QCOMPARE(content.count("\r\n"), 5);
        QCOMPARE(*GetINI(QStringLiteral("BackupItem"), path), QStringLiteral("0000000000"));
        QCOMPARE(decodeDescription(*GetINI(QStringLiteral("BackupInformation"), path)),
                 QStringLiteral("first\r\nBackupItem=1111111111\r\nlast"));
        QVERIFY(content.startsWith("BackupComputer=pc\r\nBackupLogonUser=anna\r\nBackupTime="));
    }

    void midnightShowsTheDateAlone()
    {
        const QDateTime midnight(QDate(2009, 2, 3), QTime(0, 0));
        QCOMPARE(backupTimeText(midnight),
                 QLocale::system().toString(midnight.date(), QLocale::ShortFormat));
        const QString afternoon = backupTimeText(QDateTime(QDate(2009, 2, 3), QTime(13, 5, 7)));
        QVERIFY(afternoon.contains(QLatin1String("05:07")) ||
                afternoon.contains(QLatin1String("5:07")));
        QVERIFY(!afternoon.contains(QLatin1String("UTC")));
    }

    void backupTimeLeavesOutTheTimeZone_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("text");
        QTest::newRow("Spanish, zone in brackets")
            << "es_ES" << QTime(0, 14, 34) << "8/12/26 0:14:34";
        QTest::newRow("Catalan, zone in brackets")
            << "ca_ES" << QTime(0, 14, 34) << "8/12/26 0:14:34";
        QTest::newRow("US English, zone last")
            << "en_US" << QTime(13, 5, 7) << "12/8/26 1:05:07 PM";
        QTest::newRow("zone first") << "zh_CN" << QTime(13, 5, 7) << "2026/12/8 13:05:07";
        QTest::newRow("zone in square brackets")
            << "zh_HK" << QTime(13, 5, 7) << "8/12/2026 \u4e0b\u53481:05:07";
        QTest::newRow("zone after a comma") << "be_BY" << QTime(13, 5, 7) << "8.12.26 13:05:07";
        QTest::newRow("quoted words stay")
            << "nds_DE" << QTime(13, 5, 7) << "8.12.26 Klock 13.05:07";
    }

    void backupTimeLeavesOutTheTimeZone()
    {
        QFETCH(QString, locale);
        QFETCH(QTime, time);
        QFETCH(QString, text);
        QCOMPARE(backupTimeText(QDateTime(QDate(2026, 12, 8), time), QLocale(locale)), text);
    }

    void noLocaleLeavesTheZonesFrame()
    {
        const QDateTime time(QDate(2026, 12, 8), QTime(13, 5, 7));
        for (const QLocale &locale : QLocale::matchingLocales(
                 QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
            const QString text = backupTimeText(time, locale);
            QVERIFY2(!text.contains(QLatin1String("()")) && !text.contains(QLatin1String("[]")) &&
                         !text.endsWith(QLatin1Char(',')) && text == text.trimmed(),
                     qPrintable(locale.name() + QLatin1Char(' ') + text));
            QVERIFY2(text.contains(locale.toString(5)), qPrintable(locale.name() + text));
        }
    }

    void commandLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("archive");
        QTest::newRow("mail rules only")
            << "sf=annaxm=0100000000ps=bf=/b/mail.wlm" << true << "0100000000"
            << ""
            << "/b/mail.wlm";
        QTest::newRow("leading blank, blanks in path")
            << " sf=anna smithxm=11ps=s3cretbf=/home/a/my backups/x.wlm" << true << "11"
            << "s3cret"
            << "/home/a/my backups/x.wlm";
        QTest::newRow("no equals sign") << "hello" << false << ""
                                        << ""
                                        << "";
        QTest::newRow("empty flags") << "sf=annaxm=ps=bf=/x.wlm" << false << ""
                                     << ""
                                     << "";
        QTest::newRow("empty archive") << "sf=annaxm=1ps=bf=" << false << ""
                                       << ""
                                       << "";
        QTest::newRow("password with equals") << "sf=annaxm=1ps=ab=cdbf=/x.wlm" << false << ""
                                              << ""
                                              << "";
        QTest::newRow("too few fields") << "sf=annaxm=1ps=x" << false << ""
                                        << ""
                                        << "";
        // A run of nothing would replace the last good archive with an empty one.
        QTest::newRow("no item chosen") << "sf=annaxm=0000000000ps=bf=/x.wlm" << false << ""
                                        << ""
                                        << "";
        QTest::newRow("chosen only past the items")
            << "sf=annaxm=000000000011ps=bf=/x.wlm" << false << ""
            << ""
            << "";
        QTest::newRow("flags other than 0 and 1")
            << "sf=annaxm=2222222222ps=bf=/x.wlm" << false << ""
            << ""
            << "";
        QTest::newRow("letters for flags") << "sf=annaxm=abcdefghijps=bf=/x.wlm" << false << ""
                                           << ""
                                           << "";
    }

    void commandLines()
    {
        QFETCH(QString, line);
        QFETCH(bool, accepted);
        const Expected<AutoBackupCommand> command = parseAutoBackupCommandLine(line);
        QCOMPARE(command.ok(), accepted);
        if (!accepted) {
            QVERIFY(!command.message().isEmpty());
            return;
        }
        QTEST(command->itemFlags, "flags");
        QTEST(command->password, "password");
        QTEST(command->archivePath, "archive");
    }

    void shortFlagsChooseOnlyTheirItems()
    {
        const auto command = parseAutoBackupCommandLine(QStringLiteral("sf=axm=11ps=bf=/x"));
        QVERIFY(command.ok());
        QCOMPARE(itemFlagsText(command->items()), QStringLiteral("1100000000"));
        const auto longer =
            parseAutoBackupCommandLine(QStringLiteral("sf=axm=010000000011ps=bf=/x"));
        QVERIFY(longer.ok());
        QCOMPARE(itemFlagsText(longer->items()), QStringLiteral("0100000000"));
    }
};

QUILLORY_TEST(BackupInfoTest)
#include "tst_backupinfo.moc"
