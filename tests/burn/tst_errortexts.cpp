#include "burn/errortexts.h"
#include "support/testsupport.h"

#include <QLocale>
#include <QTest>

#include <limits>

using namespace quillory;

class ErrorTextsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void driveErrorText_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first") << 1000 << "No additional error data was reported (1000).";
        QTest::newRow("under-run") << 1008 << "A buffer under-run has occurred (1008).";
        QTest::newRow("apostrophe")
            << 1010 << "The drive's attempts at reading retries failed (1010).";
        QTest::newRow("last") << 1055
                              << "A format is in progress causing operation failure (1055).";
        QTest::newRow("below") << 999 << " (999).";
        QTest::newRow("above") << 1056 << " (1056).";
        QTest::newRow("negative") << -1 << " (-1).";
        QTest::newRow("far below") << std::numeric_limits<qint32>::min() << " (-2147483648).";
    }
    void driveErrorText()
    {
        QFETCH(int, code);
        QFETCH(QString, expected);
        QCOMPARE(DriveErrorText(code), expected);
    }

    void fileErrorText_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("open") << 0 << "Error Opening File: a.txt";
        QTest::newRow("close") << 1 << "Error Closing File: a.txt";
        QTest::newRow("read") << 2 << "Error Reading file: a.txt";
        QTest::newRow("other") << 5 << "Unknown file error!:a.txt";
        QTest::newRow("negative") << -1 << "Unknown file error!:a.txt";
    }
    void fileErrorText()
    {
        QFETCH(int, kind);
        QFETCH(QString, expected);
        QCOMPARE(FileErrorText(kind, QStringLiteral("a.txt")), expected);
    }

    void formatMegabytes_data()
    {
        QTest::addColumn<double>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("CD") << 734003200.0 << "700.00 MB";
        QTest::newRow("zero") << 0.0 << "0.00 MB";
        QTest::newRow("one and a half") << 1572864.0 << "1.50 MB";
        QTest::newRow("half") << 524288.0 << "0.50 MB";
        QTest::newRow("rounded") << 1048576.0 * 2.005001 << "2.01 MB";
        QTest::newRow("no grouping beyond the pattern")
            << 1048576.0 * 12345678901.0 << "12345678901.00 MB";
    }
    void formatMegabytes()
    {
        QFETCH(double, bytes);
        QFETCH(QString, expected);
        QCOMPARE(FormatMegabytes(bytes), expected);
    }

    void formatMegabytesUsesTheLocaleSeparator()
    {
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString text = FormatMegabytes(1572864.0);
        QLocale::setDefault(saved);
        QCOMPARE(text, QStringLiteral("1,50 MB"));
    }
};

QUILLORY_TEST(ErrorTextsTest)
#include "tst_errortexts.moc"
