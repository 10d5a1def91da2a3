#include "backup/archiveestimate.h"
#include "backup/spacecheck.h"
#include "backupfixture.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(quillory::FreeSpace)

using namespace quillory;
using namespace Qt::StringLiterals;
using namespace quillory::test;

namespace {

constexpr quint64 MB = 1000 * 1000;

} // namespace

class SpaceEstimateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void estimateIsNearTheArchive_data()
    {
        QTest::addColumn<QStringList>("profile");
        // The benchmark's profiles, fewer messages of the same kinds.
        QTest::newRow("text and small attachments")
            << QStringList{u"--accounts"_s,        u"4"_s,    u"--messages"_s,    u"150"_s,
                           u"--message-size"_s,    u"4000"_s, u"--attachments"_s, u"0.5"_s,
                           u"--attachment-size"_s, u"40000"_s};
        QTest::newRow("text only") << QStringList{
            u"--accounts"_s, u"2"_s, u"--messages"_s, u"1500"_s, u"--message-size"_s, u"2000"_s};
        QTest::newRow("large attachments")
            << QStringList{u"--accounts"_s,        u"2"_s,      u"--messages"_s,    u"3"_s,
                           u"--message-size"_s,    u"4000"_s,   u"--attachments"_s, u"1"_s,
                           u"--attachment-size"_s, u"5000000"_s};
    }
    void estimateIsNearTheArchive()
    {
        QFETCH(QStringList, profile);
        LoadedProfile loaded;
        QVERIFY(loaded.load(profile));
        for (const bool everything : {false, true}) {
            const ItemFlags items = everything ? allItems() : itemsOf({ItemMailAccounts});
            QVERIFY(backUp(loaded, items).archive.ok());
            const double real = double(QFileInfo(loaded.archive()).size());
            const double estimate =
                double(estimateArchive(loaded.context->store(), items, false).bytes);
            QVERIFY2(std::abs(estimate - real) <= 0.15 * real,
                     qPrintable(QStringLiteral("estimate %1, archive %2").arg(estimate).arg(real)));
        }
    }

    // A pipe in an account holds no mail: it is passed over, never opened to be sampled.
    void aPipeIsPassedOver()
    {
        LoadedProfile loaded;
        QVERIFY(loaded.load());
        const ItemFlags accounts = itemsOf({ItemMailAccounts});
        const quint64 before = estimateArchive(loaded.context->store(), accounts, false).bytes;
        const QString pipe = loaded.context->store().StoreFolder + u"/Work/pipe.eml"_s;
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QCOMPARE(estimateArchive(loaded.context->store(), accounts, false).bytes, before);
    }

    void shortfallsSayWhereAndByHowMuch_data()
    {
        QTest::addColumn<QList<FreeSpace>>("mounts");
        QTest::addColumn<QString>("expected");
        QTest::newRow("both fit") << QList<FreeSpace>{{2000 * MB, u"/home"_s},
                                                      {400 * MB, u"/tmp"_s}}
                                  << QString();
        QTest::newRow("target nearly full")
            << QList<FreeSpace>{{50 * MB, u"/home"_s}, {400 * MB, u"/tmp"_s}}
            << QStringLiteral("The backup needs about 900 MB in the archive's folder (/home), "
                              "which has 50.0 MB free: 850 MB too little.");
        QTest::newRow("temporary folder nearly full")
            << QList<FreeSpace>{{2000 * MB, u"/home"_s}, {200 * MB, u"/tmp"_s}}
            << QStringLiteral("The backup needs about 300 MB in the temporary folder (/tmp), "
                              "which has 200 MB free: 100 MB too little.");
        QTest::newRow("one file system for both")
            << QList<FreeSpace>{{1100 * MB, u"/"_s}}
            << QStringLiteral("The backup needs about 1.20 GB in the archive's folder and the "
                              "temporary folder (/), which has 1.10 GB free: 100 MB too little.");
        QTest::newRow("room unknown") << QList<FreeSpace>{} << QString();
    }
    void shortfallsSayWhereAndByHowMuch()
    {
        QFETCH(QList<FreeSpace>, mounts);
        QFETCH(QString, expected);
        const FakeSpace space(mounts);
        const QList<SpaceShortfall> shortfalls =
            spaceShortfalls({900 * MB, 300 * MB}, QStringLiteral("/home/anna/backup.wlm"),
                            QStringLiteral("/tmp"), space);
        QCOMPARE(shortfallText(shortfalls), expected);
    }
};

QUILLORY_TEST(SpaceEstimateTest)
#include "tst_spaceestimate.moc"
