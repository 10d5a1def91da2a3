#include "app/stagingfolder.h"
#include "restorefixture.h"

#include <QTest>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::StringLiterals;

namespace {

const PasswordProvider neverAsked = [](const QString &) -> std::optional<QString> {
    QTest::qFail("the password was asked for", __FILE__, __LINE__);
    return std::nullopt;
};

} // namespace

class OpenBackupTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsOriginDescriptionAndTheListsOfHeldItems()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"a.wlm"_s);
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s,
                         infoFile(u" 1010000001 "_s, {{u"Backupmailaccountsandmessages"_s,
                                                       u" Work.zip;WindowsMail.MSMessageStore "_s},
                                                      {u"BackupmailRules"_s, u"OBR1.tmp"_s},
                                                      {u"BACKUPLDAPACCOUNTS"_s, u"a.oeaccount"_s},
                                                      {u"BackupSettings"_s, u"OBS2.tmp"_s}}))
                    .write(path));
        StagingFolder staging;
        ZipArchive Zip1;
        OpenedBackup state;
        const OpenOutcome opened = openBackupArchive(Zip1, path, neverAsked, staging, state);
        QCOMPARE(opened.status, OpenStatus::Opened);
        QCOMPARE(state.origin, u"Computer:pc\r\nUser:anna\r\nDate:3/2/09 10:20:30"_s);
        QCOMPARE(state.description, u"first\r\nsecond"_s);
        QCOMPARE(itemFlagsText(state.held), u"1010000001"_s);
        QCOMPARE(state.entryNames[0], u"Work.zip;WindowsMail.MSMessageStore"_s);
        QCOMPARE(state.entryNames[1], QString()); // listed, but not held
        QCOMPARE(state.entryNames[2], u"a.oeaccount"_s);
        QCOMPARE(state.entryNames[9], u"OBS2.tmp"_s);
        QCOMPARE(state.infoFilePath, staging.filePath(u"krvstore.dat"_s));
        QVERIFY(QFile::exists(state.infoFilePath));
        QVERIFY(!state.invalidArchive);
    }

    void refusesWhatIsNoBackupArchive_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QString>("origin");
        QTest::newRow("nine item flags")
            << ArchiveWriter().add(u"krvstore.dat"_s, infoFile(u"101000000"_s, {})).bytes()
            << u"Computer:pc\r\nUser:anna\r\nDate:3/2/09 10:20:30"_s;
        QTest::newRow("no information file")
            << ArchiveWriter().add(u"notes.txt"_s, "BackupItem=1111111111\r\n").bytes()
            << QString();
        QTest::newRow("not an archive") << QByteArray("BackupItem=1111111111\r\n") << QString();
    }

    // An archive opened before leaves its information file in the staging folder: it must not
    // answer for the next one.
    void refusesWhatIsNoBackupArchive()
    {
        QFETCH(QByteArray, archive);
        QFETCH(QString, origin);
        QTemporaryDir dir;
        const QString good = dir.filePath(u"good.wlm"_s);
        const QString bad = dir.filePath(u"bad.wlm"_s);
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s,
                         infoFile(u"0000010000"_s, {{u"BackupContacts"_s, u"a.contact"_s}}))
                    .write(good));
        QVERIFY(writeFile(bad, archive));
        Session session(dir.path());
        QCOMPARE(session.open(good).status, OpenStatus::Opened);

        const OpenOutcome opened = session.open(bad);
        QCOMPARE(opened.status, OpenStatus::Invalid);
        QCOMPARE(opened.message.text, u"Invalid backup file"_s);
        QCOMPARE(opened.message.icon, MessageIcon::Error);
        QVERIFY(session.state.invalidArchive);
        QCOMPARE(session.state.held, ItemFlags{});
        QCOMPARE(session.state.origin, origin);

        const RestoreOutcome run = session.restore(allItems());
        QVERIFY(!run.started);
        QCOMPARE(run.message.text, u"Invalid backup file."_s);
        QCOMPARE(run.message.icon, MessageIcon::Error);
    }

    void aWrongPasswordOrCancelLeavesTheOpenArchiveAlone()
    {
        QTemporaryDir dir;
        const QString plain = dir.filePath(u"plain.wlm"_s);
        const QString locked = dir.filePath(u"locked.wlm"_s);
        QVERIFY(ArchiveWriter().add(u"krvstore.dat"_s, infoFile(u"0000000000"_s, {})).write(plain));
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s,
                         infoFile(u"0100000000"_s, {{u"BackupmailRules"_s, u"OBR1.tmp"_s}}))
                    .add(u"OBR1.tmp"_s, "\\\r\n")
                    .write(locked, u"right"_s));
        Session session(dir.path());
        QCOMPARE(session.open(plain).status, OpenStatus::Opened);

        const OpenOutcome wrong = session.open(locked, u"wrong"_s);
        QCOMPARE(wrong.status, OpenStatus::WrongPassword);
        QCOMPARE(wrong.message.text, u"Incorect Password or Invalid backup file"_s);
        QCOMPARE(wrong.message.icon, MessageIcon::Information);
        const OpenOutcome cancelled = session.open(locked, std::nullopt);
        QCOMPARE(cancelled.status, OpenStatus::Cancelled);
        QVERIFY(cancelled.message.text.isEmpty());
        QCOMPARE(session.state.archivePath, plain);
        QCOMPARE(session.Zip1.entryNames(), QStringList{u"krvstore.dat"_s});

        QCOMPARE(session.open(locked, u"right"_s).status, OpenStatus::Opened);
        QCOMPARE(itemFlagsText(session.state.held), u"0100000000"_s);
        QCOMPARE(session.state.entryNames[1], u"OBR1.tmp"_s);
    }
};

QUILLORY_TEST(OpenBackupTest)
#include "tst_openbackup.moc"
