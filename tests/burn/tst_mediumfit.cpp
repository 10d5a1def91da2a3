#include "app/sizetext.h"
#include "burn/mediumfit.h"
#include "support/testsupport.h"

#include <QTest>

using namespace quillory;

class MediumFitTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void largerThanTheMedium_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("fits on a CD") << quint64(600'000'000) << QString();
        QTest::newRow("needs a DVD")
            << quint64(1'020'000'000)
            << "The archive (1.02 GB) is larger than a CD (737 MB): it needs a DVD.";
        QTest::newRow("needs a double-layer DVD")
            << quint64(6'000'000'000)
            << "The archive (6.00 GB) is larger than a DVD (4.70 GB): it needs a double-layer "
               "DVD.";
        QTest::newRow("no disc holds it")
            << quint64(9'000'000'000)
            << "The archive (9.00 GB) is larger than a double-layer DVD (8.55 GB): it does not "
               "fit on one disc.";
    }
    void largerThanTheMedium()
    {
        QFETCH(quint64, bytes);
        QFETCH(QString, expected);
        QCOMPARE(mediumFitText(bytes), expected);
    }

    void sizesForPeople_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bytes") << quint64(999) << "999 bytes";
        QTest::newRow("kilobytes") << quint64(820'400) << "820 KB";
        QTest::newRow("rounds up a unit") << quint64(999'600) << "1.00 MB";
        QTest::newRow("three figures") << quint64(35'400'000'000) << "35.4 GB";
        QTest::newRow("gigabytes") << quint64(1'020'000'000) << "1.02 GB";
    }
    void sizesForPeople()
    {
        QFETCH(quint64, bytes);
        QFETCH(QString, expected);
        QCOMPARE(sizeText(bytes), expected);
    }
};

QUILLORY_TEST(MediumFitTest)
#include "tst_mediumfit.moc"
