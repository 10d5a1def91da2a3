#include "app/stagingfolder.h"
#include "app/storediscovery.h"
#include "backup/backupcollectors.h"
#include "backup/backuprun.h"
#include "backupfixture.h"
#include "platform/runobserver.h"
#include "platform/zip/ziparchive.h"
#include "registry/modreg.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace quillory;
using namespace quillory::test;

namespace {

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(folder).relativeFilePath(it.next()));
    files.sort();
    return files;
}

BackupRequest request(const QString &archive, const ItemFlags &items)
{
    BackupRequest r;
    r.archivePath = archive;
    r.items = items;
    return r;
}

} // namespace

class BackupRunTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void archiveHoldsEveryItemUnderItsListLine()
    {
        LoadedProfile profile;
        QVERIFY(profile.load());
        const QString store = profile.context->store().StoreFolder;
        const QStringList storeBefore = filesBelow(store);
        const QString staging = profile.context->staging().path();

        BackupRequest r = request(profile.archive(), allItems());
        r.description = QStringLiteral("two\nlines");
        const BackupOutcome outcome = backUp(profile, r);
        QVERIFY2(outcome.archive.ok(), qPrintable(outcome.archive.message()));
        QVERIFY2(outcome.allStored(allItems()), qPrintable(outcome.problems.join(u'\n')));

        const QStringList lines = infoLines(profile.archive());
        QCOMPARE(lines.size(), 4 + ItemCount + 1);
        QVERIFY(lines[0].startsWith(QLatin1String("BackupComputer=")));
        QVERIFY(lines[1].startsWith(QLatin1String("BackupLogonUser=")));
        QVERIFY(lines[2].startsWith(QLatin1String("BackupTime=")));
        QCOMPARE(lines[3], QStringLiteral("BackupInformation=twoPS$KRVlines"));
        QCOMPARE(lines.last(), QStringLiteral("BackupItem=1111111111"));

        const QMap<QString, QByteArray> entries = archiveContents(profile.archive());
        for (int index = 0; index < ItemCount; ++index) {
            const QString line = lines[4 + index];
            QVERIFY2(line.startsWith(itemTable()[index].listKey + QLatin1Char('=')),
                     qPrintable(line));
            for (const QString &name : line.section(QLatin1Char('='), 1).split(QLatin1Char(';')))
                QVERIFY2(entries.contains(name), qPrintable(name));
        }
        QStringList nested;
        for (const QString &folder : accountFolders(store))
            nested.append(folder + QStringLiteral(".zip"));
        QCOMPARE(lines[4], QStringLiteral("Backupmailaccountsandmessages=") +
                               nested.join(QLatin1Char(';')) +
                               QStringLiteral(";WindowsMail.MSMessageStore"));
        QVERIFY(entries.value(lines[5].section(QLatin1Char('='), 1)).startsWith("\\\r\n"));

        // Each nested archive holds its folder's whole tree.
        QTemporaryDir unpacked;
        QVERIFY(writeFile(unpacked.filePath(QStringLiteral("Work.zip")),
                          entries.value(QStringLiteral("Work.zip"))));
        ZipArchive work;
        QVERIFY(work.OpenArchive(unpacked.filePath(QStringLiteral("Work.zip"))));
        QVERIFY(work.ExtractAll(unpacked.filePath(QStringLiteral("Work"))));
        const QStringList workFiles = filesBelow(QDir(store).filePath(QStringLiteral("Work")));
        QVERIFY(!workFiles.isEmpty());
        QCOMPARE(filesBelow(unpacked.filePath(QStringLiteral("Work"))), workFiles);
        for (const QString &file : workFiles)
            QCOMPARE(readFile(unpacked.filePath(QStringLiteral("Work/") + file)),
                     readFile(QDir(store).filePath(QStringLiteral("Work/") + file)));

        // Nothing was staged in the store, and the staging folder is gone.
        QCOMPARE(filesBelow(store), storeBefore);
        QVERIFY(!QFileInfo::exists(staging));
    }

    void protectedArchiveEncryptsEveryEntry()
    {
        LoadedProfile profile;
        QVERIFY(profile.load());
        BackupRequest r = request(profile.archive(), itemsOf({ItemMailAccounts, ItemSignatures}));
        r.protect = true;
        r.password = QStringLiteral("pässwörd 12");
        QVERIFY(backUp(profile, r).archive.ok());

        QVERIFY(ZipArchive::IsProtected(profile.archive()));
        ZipArchive wrong;
        wrong.SetPassword(QStringLiteral("nope"));
        QVERIFY(!wrong.OpenArchive(profile.archive()));
        QVERIFY(!wrong.OpenError().isEmpty());
        QCOMPARE(infoLines(profile.archive(), r.password).last(),
                 QStringLiteral("BackupItem=1000000100"));
        // Another tool reads it back with the password.
        const ProgramRun sevenZip =
            runProgram(QStringLiteral("7zz"),
                       {QStringLiteral("t"), QStringLiteral("-p") + r.password, profile.archive()});
        QVERIFY2(sevenZip.exitCode == 0, sevenZip.out.constData());
    }

    void aUsersOwnZipInTheStoreSurvives()
    {
        LoadedProfile profile;
        QVERIFY(profile.load());
        const QString own =
            QDir(profile.context->store().StoreFolder).filePath(QStringLiteral("Work.zip"));
        QVERIFY(writeFile(own, "my own file"));
        QVERIFY(
            backUp(profile, request(profile.archive(), itemsOf({ItemMailAccounts}))).archive.ok());
        QCOMPARE(readFile(own), QByteArray("my own file"));
        QVERIFY(
            archiveContents(profile.archive()).value(QStringLiteral("Work.zip")).startsWith("PK"));
    }

    void failedWriteKeepsTheLastGoodArchive()
    {
        LoadedProfile profile;
        QVERIFY(profile.load());
        QVERIFY(backUp(profile, request(profile.archive(), itemsOf({ItemMailRules}))).archive.ok());
        const QByteArray good = readFile(profile.archive());

        // A full disk, as far as this process can tell: files cannot grow past 64 KiB.
        QVERIFY(writeFile(
            QDir(profile.context->store().stationeryFolder).filePath(QStringLiteral("big.jpg")),
            noise(512 * 1024)));
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 64 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const BackupOutcome outcome =
            backUp(profile, request(profile.archive(), itemsOf({ItemStationeries})));
        setrlimit(RLIMIT_FSIZE, &old);

        QVERIFY(!outcome.archive.ok());
        QVERIFY(!outcome.archive.message().isEmpty());
        QCOMPARE(readFile(profile.archive()), good);
        QCOMPARE(QDir(profile.dir.path())
                     .entryList({QStringLiteral("*.wlm*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("backup.wlm")});
    }

    void failedItemsAreLoggedAndNotClaimed()
    {
        LoadedProfile profile;
        QVERIFY(profile.load({QStringLiteral("--no-contacts"), QStringLiteral("--no-stationery")}));
        const BackupOutcome outcome =
            backUp(profile, request(profile.archive(),
                                    itemsOf({ItemMailRules, ItemContacts, ItemStationeries})));
        QVERIFY(outcome.archive.ok());
        QCOMPARE(outcome.log, QStringLiteral("\r\nBackup Mail Rules\tSuccessed!\r\nBackup "
                                             "Contacts\tFail!\r\nBackup Stationeries\tFail!"));
        QCOMPARE(outcome.problems.size(), 2);
        const QStringList lines = infoLines(profile.archive());
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines.last(), QStringLiteral("BackupItem=0100000000"));
    }

    void missingKeyExportsAsAnEmptyTree()
    {
        LoadedProfile profile;
        QVERIFY(profile.load());
        profile.context->reg().DeleteKeyTree(MailKeys::junkMail);
        QVERIFY(!profile.context->reg().KeyExists(MailKeys::junkMail));
        QVERIFY(backUp(profile, request(profile.archive(), itemsOf({ItemJunkMail}))).archive.ok());
        const QStringList lines = infoLines(profile.archive());
        QCOMPARE(lines.last(), QStringLiteral("BackupItem=0000100000"));
        const QString entry = lines[4].section(QLatin1Char('='), 1);
        QVERIFY(entry.startsWith(QLatin1String("OBR")));
        QCOMPARE(archiveContents(profile.archive()).value(entry), QByteArray("\\\r\n"));
        QVERIFY(profile.context->reg().KeyExists(MailKeys::junkMail));
    }

    void inputChecksComeInOrder_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<bool>("anyItem");
        QTest::addColumn<bool>("protect");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("retyped");
        QTest::addColumn<QString>("message");
        QTest::newRow("no name, no item") << "" << false << true << ""
                                          << "x"
                                          << "Invalid backup file name.";
        QTest::newRow("no item") << "/a.wlm" << false << true << ""
                                 << ""
                                 << "Please select at least one item.";
        QTest::newRow("both empty") << "/a.wlm" << true << true << ""
                                    << ""
                                    << "Please enter Password!";
        QTest::newRow("second empty") << "/a.wlm" << true << true << "pw"
                                      << ""
                                      << "Incorect Password!";
        QTest::newRow("differ") << "/a.wlm" << true << true << "pw"
                                << "pW"
                                << "Incorect Password!";
        QTest::newRow("unprotected ignores boxes") << "/a.wlm" << true << false << "pw"
                                                   << ""
                                                   << "";
        QTest::newRow("all good") << "/a.wlm" << true << true << "pw"
                                  << "pw"
                                  << "";
    }

    void inputChecksComeInOrder()
    {
        QFETCH(QString, archive);
        QFETCH(bool, anyItem);
        QFETCH(bool, protect);
        QFETCH(QString, password);
        QFETCH(QString, retyped);
        QFETCH(QString, message);
        const auto problem = checkBackupInput(
            archive, anyItem ? itemsOf({ItemContacts}) : ItemFlags{}, protect, password, retyped);
        QCOMPARE(problem ? problem->text : QString(), message);
        if (problem)
            QCOMPARE(problem->icon, message.startsWith(QLatin1String("Please enter")) ||
                                            message.startsWith(QLatin1String("Incorect"))
                                        ? MessageIcon::Error
                                        : MessageIcon::Warning);
    }
};

QUILLORY_TEST(BackupRunTest)
#include "tst_backuprun.moc"
