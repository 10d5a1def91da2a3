#include "restorefixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::StringLiterals;

namespace {

const QString accountsKey = u"Backupmailaccountsandmessages"_s;

// The work folder in the store holds one message; restores below try to replace it.
QByteArray workArchive()
{
    return ArchiveWriter().add(u"Inbox/1.eml"_s, "Subject: restored\r\n").bytes();
}

// An archive that holds the accounts `list` names, with the nested archives given.
QByteArray accountsArchive(const QString &list, const QList<std::pair<QString, QByteArray>> &nested)
{
    ArchiveWriter writer;
    writer.add(u"krvstore.dat"_s, infoFile(u"1000000000"_s, {{accountsKey, list}}));
    for (const auto &[name, bytes] : nested)
        writer.add(name, bytes);
    return writer.bytes();
}

QByteArray nestedWith(const QString &name)
{
    return ArchiveWriter().add(u"Inbox/1.eml"_s, "x").add(name, "x").bytes();
}

// The mail rules as a registry text file whose values come in the reverse of Wine's order.
QByteArray reversedRegistryText(int values)
{
    QByteArray text = "\\\r\n";
    for (int i = values; i > 0; --i)
        text += '"' + QByteArray::number(i).rightJustified(5, '0') + "\"= dw:1\r\n";
    return text;
}

// A protected archive of one contact.
bool writeProtectedArchive(const QString &path)
{
    return ArchiveWriter()
        .add(u"krvstore.dat"_s, infoFile(u"0000010000"_s, {{u"BackupContacts"_s, u"x.contact"_s}}))
        .add(u"x.contact"_s, "contact")
        .write(path, u"secret"_s);
}

} // namespace

// Archives made to go wrong: each restore must fail the item it concerns, say so, and leave
// everything it did not restore, inside the store and outside it, as it was.
class HostileArchiveTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString archive() const { return m_dir.filePath(u"crafted.wlm"_s); }

private Q_SLOTS:
    void theAccountsItemRestoresFoldersAndPlainFiles()
    {
        SampleProfile target;
        QVERIFY(writeFile(target.store(u"WindowsMail/kept.eml"_s), "a folder of the store"));
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s,
                         infoFile(u"1000000000"_s,
                                  {{accountsKey,
                                    u"Work.zip;Mail.MSMessageStore;WindowsMail.MSMessageStore"_s}}))
                    .add(u"Work.zip"_s, workArchive())
                    .add(u"Mail.MSMessageStore"_s, "database")
                    .write(archive()));
        Session session(target.path());
        QCOMPARE(session.open(archive()).status, OpenStatus::Opened);
        QCOMPARE(session.restore(allItems()).message.text, reportOf({{0, true}}));
        QCOMPARE(treeOf(target.store(u"Work"_s)).keys(),
                 QStringList({u"Inbox/"_s, u"Inbox/1.eml"_s}));
        QCOMPARE(readFile(target.store(u"Mail.MSMessageStore"_s)), QByteArray("database"));
        QCOMPARE(readFile(target.store(u"WindowsMail/kept.eml"_s)),
                 QByteArray("a folder of the store"));
    }

    void aFailedAccountsItemKeepsEveryFolder_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QByteArray>("nested");
        QTest::addColumn<QString>("why");
        const QByteArray work = workArchive();
        QTest::newRow("listed archive missing")
            << u"Home.zip;Work.zip;Gone.zip"_s << u"Work.zip"_s << work << u"\"Gone.zip\""_s;
        QTest::newRow("name leaves the store")
            << u"Home.zip;../Work.zip"_s << u"../Work.zip"_s << work << u"\"../Work.zip\""_s;
        QTest::newRow("name is the store's parent")
            << u"...zip"_s << u"...zip"_s << work << u"\"...zip\""_s;
        QByteArray damaged =
            ArchiveWriter().add(u"Inbox/1.eml"_s, "first").add(u"Inbox/2.eml"_s, "second").bytes();
        damaged[damaged.indexOf("second")] = 'S';
        QTest::newRow("nested entry damaged half-way")
            << u"Work.zip"_s << u"Work.zip"_s << damaged << u"\"Inbox/2.eml\""_s;
        // The mail client's own folders, in whatever case Wine would find them.
        for (const QString &name : {u"Contacts.zip"_s, u"BACKUP.zip"_s, u"storage folders.ZIP"_s,
                                    u"Sentinel.zip"_s, u"Your Feeds.zip"_s})
            QTest::newRow(qPrintable(u"client folder "_s + name))
                << u"Home.zip;"_s + name << name << work << u"own folder"_s;
    }

    void aFailedAccountsItemKeepsEveryFolder()
    {
        QFETCH(QString, list);
        QFETCH(QString, entry);
        QFETCH(QByteArray, nested);
        QFETCH(QString, why);
        SampleProfile target;
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s, infoFile(u"1000000000"_s, {{accountsKey, list}}))
                    .add(u"Home.zip"_s, workArchive())
                    .add(entry, nested)
                    .write(archive()));
        const QString outside = QFileInfo(target.store()).path();
        const auto before = treeOf(outside);
        Session session(target.path());
        QCOMPARE(session.open(archive()).status, OpenStatus::Opened);
        const RestoreOutcome outcome = session.restore(allItems());
        QCOMPARE(outcome.message.text, reportOf({{0, false}}));
        QCOMPARE(outcome.problems.size(), 1);
        QVERIFY2(outcome.problems.first().contains(why), qPrintable(outcome.problems.first()));
        QCOMPARE(treeOf(outside), before);
    }

    void aRefusedSecondAccountChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("nested");
        QTest::addColumn<QString>("why");
        QString deep;
        for (int level = 0; level < 600; ++level)
            deep += u"a/"_s;
        QTest::newRow("name leaves the folder")
            << ArchiveWriter().add(u"Inbox/1.eml"_s, "x").add(u"../../escaped.eml"_s, "x").bytes()
            << u"escaped.eml"_s;
        QTest::newRow("symbolic link")
            << ArchiveWriter().addLink(u"Inbox"_s, "/tmp").add(u"Inbox/1.eml"_s, "x").bytes()
            << u"symbolic link"_s;
        QTest::newRow("names equal but for case")
            << ArchiveWriter().add(u"Inbox/a.eml"_s, "x").add(u"INBOX/A.eml"_s, "y").bytes()
            << u"only in case"_s;
        QTest::newRow("too deep") << nestedWith(deep + u"x"_s) << u"512 folders deep"_s;
        QTest::newRow("name part of 300 bytes")
            << nestedWith(u"Inbox/"_s + QString(300, u'n')) << u"longer than 255 bytes"_s;
    }

    // The accounts' archives are checked before the first is replaced: a refused second account
    // leaves the first, and everything else, as it was.
    void aRefusedSecondAccountChangesNothing()
    {
        QFETCH(QByteArray, nested);
        QFETCH(QString, why);
        SampleProfile target;
        QVERIFY(writeFile(
            archive(), accountsArchive(u"Home.zip;Work.zip"_s,
                                       {{u"Home.zip"_s, workArchive()}, {u"Work.zip"_s, nested}})));
        const QString outside = QFileInfo(target.store()).path();
        const auto before = treeOf(outside);
        Session session(target.path());
        QCOMPARE(session.open(archive()).status, OpenStatus::Opened);
        const RestoreOutcome outcome = session.restore(allItems());
        QVERIFY(!outcome.started);
        QVERIFY2(outcome.message.text.startsWith(u"Nothing was restored"_s) &&
                     outcome.message.text.contains(why),
                 qPrintable(outcome.message.text));
        QCOMPARE(treeOf(outside), before);
    }

    void everyAccountThatCanBeReplacedIs()
    {
        SampleProfile target;
        for (const QString &blocked : {u"Blocked"_s, u"Stuck"_s})
            QVERIFY(writeFile(target.store(blocked), "a file where the backup has a folder"));
        const QString list = u"Blocked.zip;Work.zip;Stuck.zip;Spare.zip"_s;
        ArchiveWriter writer;
        writer.add(u"krvstore.dat"_s, infoFile(u"1000000000"_s, {{accountsKey, list}}));
        for (const QString &name : list.split(u';'))
            writer.add(name, workArchive());
        QVERIFY(writer.write(archive()));
        Session session(target.path());
        QCOMPARE(session.open(archive()).status, OpenStatus::Opened);
        const RestoreOutcome outcome = session.restore(allItems());
        QCOMPARE(outcome.message.text, reportOf({{0, false}}));
        QCOMPARE(outcome.problems.size(), 1);
        const QString &problem = outcome.problems.first();
        QVERIFY2(problem.contains(u"The account \"Blocked\" was not restored: "_s) &&
                     problem.contains(u"The account \"Stuck\" was not restored: "_s) &&
                     !problem.contains(u"\"Work\""_s) && !problem.contains(u"\"Spare\""_s),
                 qPrintable(problem));
        for (const QString &restored : {u"Work"_s, u"Spare"_s})
            QCOMPARE(treeOf(target.store(restored)).keys(),
                     QStringList({u"Inbox/"_s, u"Inbox/1.eml"_s}));
        QCOMPARE(readFile(target.store(u"Stuck"_s)),
                 QByteArray("a file where the backup has a folder"));
    }

    void aFailedWriteSaysWhy()
    {
        SampleProfile target;
        const QString database = target.store(u"Mail.MSMessageStore"_s);
        const QByteArray before = readFile(database);
        QVERIFY(!before.isEmpty());
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s, infoFile(u"0000001000"_s, {{u"Backupmaildatabase"_s,
                                                                        u"Mail.MSMessageStore"_s}}))
                    .add(u"Mail.MSMessageStore"_s, noise(1024 * 1024))
                    .write(archive()));
        Session session(target.path());
        QCOMPARE(session.open(archive()).status, OpenStatus::Opened);

        // A file size limit cuts a write short after the free room was found sufficient, as a
        // disk filled by another program does.
        const FileSizeLimit small(512 * 1024 + 100);
        QVERIFY(small.set());
        const RestoreOutcome outcome = session.restore(allItems());
        QCOMPARE(outcome.message.text, reportOf({{6, false}}));
        QVERIFY2(outcome.problems.first().contains(qt_error_string(EFBIG)),
                 qPrintable(outcome.problems.first()));
        QCOMPARE(readFile(database), before);
    }

    void unsafeEntriesFailOnlyTheirItem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("link");
        QTest::newRow("backslash parent") << u"..\\x.contact"_s << false;
        QTest::newRow("subfolder") << u"sub/x.contact"_s << false;
        QTest::newRow("absolute") << u"/tmp/x.contact"_s << false;
        QTest::newRow("symbolic link") << u"x.contact"_s << true;
    }

    void unsafeEntriesFailOnlyTheirItem()
    {
        QFETCH(QString, name);
        QFETCH(bool, link);
        SampleProfile target;
        ArchiveWriter writer;
        writer.add(u"krvstore.dat"_s,
                   infoFile(u"0010010000"_s, {{u"BackupldapAccounts"_s, u"new.oeaccount"_s},
                                              {u"BackupContacts"_s, name + u";a.contact"_s}}));
        writer.add(u"new.oeaccount"_s, "ldap").add(u"a.contact"_s, "a");
        link ? writer.addLink(name, "/etc/passwd") : writer.add(name, "x");
        QVERIFY(writer.write(archive()));
        const QString contacts = target.store(u"Contacts"_s);
        const auto before = treeOf(contacts);
        Session session(target.path());
        QCOMPARE(session.open(archive()).status, OpenStatus::Opened);
        QCOMPARE(session.restore(allItems()).message.text, reportOf({{2, true}, {5, false}}));
        QCOMPARE(treeOf(contacts), before);
        QCOMPARE(readFile(target.store(u"new.oeaccount"_s)), QByteArray("ldap"));
        QVERIFY(!QFileInfo::exists(QDir::tempPath() + u"/x.contact"_s));
    }

    void aDamagedEntryRestoresNothing_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("deflate");
        QTest::addColumn<int>("into");
        QTest::newRow("unprotected") << QString() << false << 0;
        // An AES entry under 20 bytes has no CRC: only its authentication code, the last bytes of
        // its data, vouches for it. The password is tried on the archive's smallest entry, which
        // is intact.
        QTest::newRow("protected, authentication code wrong") << u"secret"_s << false << -1;
        QTest::newRow("protected, deflated, authentication code wrong")
            << u"secret"_s << true << -1;
    }

    void aDamagedEntryRestoresNothing()
    {
        QFETCH(QString, password);
        QFETCH(bool, deflate);
        QFETCH(int, into);
        SampleProfile target;
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s,
                         infoFile(u"1000010000"_s, {{accountsKey, u"Work.zip"_s},
                                                    {u"BackupContacts"_s, u"x.contact"_s}}))
                    .add(u"Work.zip"_s, workArchive())
                    .add(u"a.contact"_s, "a")
                    .add(u"x.contact"_s, "contact data")
                    .write(archive(), password, deflate));
        QVERIFY(damageEntry(archive(), "x.contact", into));
        const auto before = treeOf(target.path());
        Session session(target.path());
        QCOMPARE(session.open(archive(), password).status, OpenStatus::Opened);
        const QString staging = QFileInfo(session.state.infoFilePath).path();
        const RestoreOutcome outcome = session.restore(allItems());
        QVERIFY(!outcome.started);
        QVERIFY2(outcome.message.text.startsWith(u"Nothing was restored"_s) &&
                     outcome.message.text.contains(u"\"x.contact\""_s),
                 qPrintable(outcome.message.text));
        QCOMPARE(treeOf(target.path()), before);
        QVERIFY(!QFileInfo::exists(staging));
    }

    void aDamagedLastAccountRestoresNothing_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("unprotected") << QString();
        QTest::newRow("protected") << u"secret"_s;
    }

    // Every account is checked before the first folder is replaced, so damage in the last one
    // leaves the others as they were too.
    void aDamagedLastAccountRestoresNothing()
    {
        QFETCH(QString, password);
        SampleProfile target;
        const QString list = u"Home.zip;Work.zip;Spare.zip"_s;
        ArchiveWriter writer;
        for (const QString &name : list.split(u';'))
            writer.add(name, ArchiveWriter().add(u"Inbox/1.eml"_s, noise(4096)).bytes());
        writer.add(u"krvstore.dat"_s, infoFile(u"1000000000"_s, {{accountsKey, list}}));
        QVERIFY(writer.write(archive(), password));
        QVERIFY(damageEntry(archive(), "Spare.zip", 100));
        const QString outside = QFileInfo(target.store()).path();
        const auto before = treeOf(outside);
        Session session(target.path());
        QCOMPARE(session.open(archive(), password).status, OpenStatus::Opened);
        const RestoreOutcome outcome = session.restore(allItems());
        QVERIFY(!outcome.started);
        QVERIFY2(outcome.message.text.startsWith(u"Nothing was restored"_s) &&
                     outcome.message.text.contains(u"\"Spare.zip\""_s),
                 qPrintable(outcome.message.text));
        QCOMPARE(treeOf(outside), before);
    }

    void hostileArchivesCostLittle_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QString deep;
        for (int level = 0; level < 10000; ++level)
            deep += u"a/"_s;
        QTest::newRow("deep name")
            << accountsArchive(u"Work.zip"_s, {{u"Work.zip"_s, nestedWith(deep + u"x"_s)}})
            << u"restore"_s << 2 << u"more than 512 folders deep"_s;
        QTest::newRow("long part of a name")
            << accountsArchive(u"Work.zip"_s,
                               {{u"Work.zip"_s, nestedWith(u"Inbox/"_s + QString(300, u'n'))}})
            << u"restore"_s << 2 << u"longer than 255 bytes"_s;
        QString longPath;
        for (int level = 0; level < 300; ++level)
            longPath += u"folder-of-mail/"_s;
        QTest::newRow("long path")
            << accountsArchive(u"Work.zip"_s, {{u"Work.zip"_s, nestedWith(longPath + u"x"_s)}})
            << u"restore"_s << 2 << u"longer than 4096 bytes"_s;
        QTest::newRow("folders equal but for case")
            << accountsArchive(u"Work.zip"_s, {{u"Work.zip"_s, nestedWith(u"INBOX/2.eml"_s)}})
            << u"restore"_s << 2 << u"only in case"_s;
        // At the bounds, exactly: 512 folders and a path of 4095 bytes (4096 with the system's
        // closing zero) are taken, one more is not; verify plans the restore without writing,
        // so no file system's own bound interferes.
        QString deep512;
        for (int level = 0; level < 512; ++level)
            deep512 += u"a/"_s;
        QTest::newRow("512 folders deep")
            << accountsArchive(u"Work.zip"_s, {{u"Work.zip"_s, nestedWith(deep512 + u"x"_s)}})
            << u"verify"_s << 0 << u"is sound"_s;
        QTest::newRow("513 folders deep")
            << accountsArchive(u"Work.zip"_s, {{u"Work.zip"_s, nestedWith(deep512 + u"a/x"_s)}})
            << u"verify"_s << 2 << u"more than 512 folders deep"_s;
        // Short parts, so that the separators are a good part of the length (455 folders).
        QString path4095;
        while (path4095.size() < 4095 - 9)
            path4095 += u"abcdefgh/"_s;
        path4095 += QString(4095 - path4095.size(), u'x');
        QTest::newRow("path of 4095 bytes")
            << accountsArchive(u"Work.zip"_s, {{u"Work.zip"_s, nestedWith(path4095)}})
            << u"verify"_s << 0 << u"is sound"_s;
        QTest::newRow("path of 4096 bytes")
            << accountsArchive(u"Work.zip"_s, {{u"Work.zip"_s, nestedWith(path4095 + u'x')}})
            << u"verify"_s << 2 << u"longer than 4096 bytes"_s;
        // Data that reads back wrong only inside an account's archive: sound to its directory,
        // not to --full.
        QByteArray damaged =
            ArchiveWriter().add(u"Inbox/1.eml"_s, "first").add(u"Inbox/2.eml"_s, "second").bytes();
        damaged[damaged.indexOf("second")] = 'S';
        const QByteArray withDamage = accountsArchive(u"Work.zip"_s, {{u"Work.zip"_s, damaged}});
        QTest::newRow("verify: damaged inside") << withDamage << u"verify"_s << 0 << u"is sound"_s;
        QTest::newRow("verify --full: damaged inside")
            << withDamage << u"verify --full"_s << 2 << u"Inbox/2.eml"_s;
        // What the restore refuses, verify does not call sound.
        QTest::newRow("verify: deep name")
            << accountsArchive(u"Work.zip"_s, {{u"Work.zip"_s, nestedWith(deep + u"x"_s)}})
            << u"verify"_s << 2 << u"more than 512 folders deep"_s;
        QTest::newRow("verify: nested name leaves the folder")
            << accountsArchive(u"Work.zip"_s, {{u"Work.zip"_s, nestedWith(u"../../x.eml"_s)}})
            << u"verify"_s << 2 << u"x.eml"_s;
        QTest::newRow("listed names equal but for case")
            << accountsArchive(u"Work.zip;WORK.zip"_s,
                               {{u"Work.zip"_s, workArchive()}, {u"WORK.zip"_s, workArchive()}})
            << u"restore"_s << 2 << u"cannot tell apart"_s;
        QByteArray twice =
            ArchiveWriter()
                .add(u"krvstore.dat"_s,
                     infoFile(u"0000010000"_s, {{u"BackupContacts"_s, u"a.contact"_s}}))
                .add(u"a.contact"_s, "first")
                .add(u"b.contact"_s, "second")
                .bytes();
        twice.replace("b.contact", "a.contact");
        QTest::newRow("duplicate names")
            << twice << u"restore"_s << 2 << u"two of its entries are named \"a.contact\""_s;
        QTest::newRow("inflated information file")
            << ArchiveWriter()
                   .addDeflated(u"krvstore.dat"_s,
                                "BackupInformation=" + QByteArray(64 * 1024 * 1024, 'x') +
                                    "\r\nBackupItem=0000000000\r\n")
                   .bytes()
            << u"info"_s << 2 << u"1048576"_s;
        QTest::newRow("control characters")
            << ArchiveWriter()
                   .add(u"krvstore.dat"_s, "BackupComputer=\x1b]0;owned\x07\r\n"
                                           "BackupInformation=\x1b[2Jgone\x9b\r\n"
                                           "BackupItem=0000000000\r\n")
                   .bytes()
            << u"info"_s << 0 << u"Computer:\\x1b]0;owned\\x07"_s;
        QTest::newRow("registry values in reverse order")
            << ArchiveWriter()
                   .add(u"krvstore.dat"_s,
                        infoFile(u"0100000000"_s, {{u"BackupmailRules"_s, u"rules.reg"_s}}))
                   .addDeflated(u"rules.reg"_s, reversedRegistryText(62000))
                   .bytes()
            << u"restore"_s << 0 << u"Restore Mail Rules\tSuccessed!"_s;
    }

    // As brevnor-cli meets them: refused or restored, and either at a cost that the archive's
    // own size bounds, whatever it claims to hold.
    void hostileArchivesCostLittle()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, command);
        QFETCH(int, status);
        QFETCH(QString, said);
        SampleProfile target;
        QTemporaryDir tmp;
        QVERIFY(bytes.size() < 1024 * 1024 && writeFile(archive(), bytes));
        QStringList arguments = command.split(u' ');
        arguments.insert(1, archive());
        const MeasuredRun run =
            runMeasured(u"brevnor-cli"_s, arguments,
                        {{u"WINEPREFIX="_s + target.path(), u"TMPDIR="_s + tmp.path()}, 60});
        const QByteArray shown = run.out + run.err;
        QVERIFY2(!run.timedOut, "still running after a minute");
        QVERIFY2(run.exitCode() == status, shown.left(2000).constData());
        QVERIFY2(shown.contains(said.toUtf8()), shown.left(2000).constData());
        QVERIFY2(!shown.contains('\x1b') && !shown.contains('\x07'), shown.constData());
        // Under a sanitizer (scripts/sanitize) the program takes several times its own memory
        // and time: the bounds hold for the program as shipped.
        if (underSanitizer)
            return;
        QVERIFY2(run.cpuSeconds < 5, qPrintable(QString::number(run.cpuSeconds)));
        QVERIFY2(run.peakKilobytes < 200 * 1024, qPrintable(QString::number(run.peakKilobytes)));
    }

    void aLinkInTheProfileIsNotRestoredThrough()
    {
        SampleProfile target;
        QTemporaryDir outside;
        const QString contacts = target.store(u"Contacts/Default"_s);
        QVERIFY(QDir(contacts).removeRecursively());
        QVERIFY(QFile::link(outside.path(), contacts));
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s,
                         infoFile(u"0000010000"_s, {{u"BackupContacts"_s, u"x.contact"_s}}))
                    .add(u"x.contact"_s, "contact")
                    .write(archive()));
        Session session(target.path());
        QCOMPARE(session.open(archive()).status, OpenStatus::Opened);
        const RestoreOutcome outcome = session.restore(allItems());
        QCOMPARE(outcome.message.text, reportOf({{5, false}}));
        QVERIFY2(outcome.problems.first().contains(
                     u"Default is a symbolic link; nothing is restored through it."_s),
                 qPrintable(outcome.problems.first()));
        QVERIFY(QDir(outside.path()).isEmpty());
    }

    // A full temporary folder is what the user must hear of, not a damaged archive.
    void aFullTemporaryFolderIsNamed()
    {
        QTemporaryDir tmp;
        const QByteArray mountPoint = QFile::encodeName(tmp.path());
        if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("A small file system cannot be mounted here.");
        const auto unmount = qScopeGuard([&] { ::umount(mountPoint.constData()); });
        QVERIFY(QDir().mkpath(tmp.filePath(u"staging"_s)));
        QFile filler(tmp.filePath(u"filler"_s));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) {
        }
        filler.close();
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s,
                         infoFile(u"0000010000"_s, {{u"BackupContacts"_s, u"x.contact"_s}}))
                    .add(u"x.contact"_s, "contact")
                    .write(archive()));
        const MeasuredRun run = runMeasured(u"brevnor-cli"_s, {u"info"_s, archive()},
                                            {{u"TMPDIR="_s + tmp.filePath(u"staging"_s)}, 60});
        QCOMPARE(run.exitCode(), 2);
        QVERIFY2(!run.err.contains("Invalid backup file") &&
                     !run.err.contains("is not a backup archive") &&
                     run.err.contains(QFile::encodeName(tmp.filePath(u"staging"_s))),
                 run.err.constData());
    }

    void anEntryAddedWithoutThePasswordIsRefused_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::newRow("a contact") << u"y.contact"_s;
        QTest::newRow("an account") << u"Planted.zip"_s;
        QTest::newRow("a folder's file") << u"Stationery/x.htm"_s;
    }

    // Anyone can add an entry to a protected archive without knowing its password; the password
    // must not vouch for it.
    void anEntryAddedWithoutThePasswordIsRefused()
    {
        QFETCH(QString, planted);
        SampleProfile target;
        QVERIFY(writeProtectedArchive(archive()));
        const ProgramRun added = runProgram(
            u"python3"_s,
            {u"-c"_s,
             u"import sys, zipfile\nzipfile.ZipFile(sys.argv[1], 'a').writestr(sys.argv[2], 'x')"_s,
             archive(), planted});
        QVERIFY2(added.exitCode == 0, added.err.constData());
        Session session(target.path());
        QVERIFY(session.open(archive(), u"secret"_s).status != OpenStatus::Opened);
        QTemporaryFile password;
        QVERIFY(password.open() && password.write("secret\n") == 7 && password.flush());
        const ProgramRun verified = runProgram(
            u"brevnor-cli"_s, {u"verify"_s, archive(), u"--password-file"_s, password.fileName()},
            {u"WINEPREFIX="_s + target.path()});
        QCOMPARE(verified.exitCode, 2);
        QVERIFY2(verified.err.contains(planted.toUtf8() + "\" is not protected"),
                 verified.err.constData());
    }

    // A crash of a run that holds a password leaves no core file to find it in.
    void aRunHoldingAPasswordDumpsNoCore()
    {
        SampleProfile source;
        // Enough to deflate that the run is still writing when it is stopped.
        QVERIFY(writeFile(source.store(u"Work"_s) + u"/large.eml"_s, noise(48 * 1024 * 1024)));
        const QString target = m_dir.filePath(u"protected.wlm"_s);
        rlimit before{};
        QCOMPARE(::getrlimit(RLIMIT_CORE, &before), 0);
        rlimit unlimited = before;
        unlimited.rlim_cur = unlimited.rlim_max;
        QCOMPARE(::setrlimit(RLIMIT_CORE, &unlimited), 0);
        const auto restore = qScopeGuard([before] { ::setrlimit(RLIMIT_CORE, &before); });
        QTemporaryDir cores;
        const auto abort = [](qint64 pid) {
            QThread::msleep(200);
            ::kill(pid_t(pid), SIGABRT);
        };
        const MeasuredRun control =
            runMeasured(u"sleep"_s, {u"10"_s}, {{}, 60, cores.path(), abort});
        if (!WIFSIGNALED(control.status) || !WCOREDUMP(control.status))
            QSKIP("Core files are not written here.");
        // Stopped once the protected archive is being written: the password is held then.
        const MeasuredRun run =
            runMeasured(u"brevnor-cli"_s, {u"backup"_s, target, u"--items=0"_s, u"--protect"_s},
                        {{u"WINEPREFIX="_s + source.path(), u"QUILLORY_PASSWORD=secret"_s},
                         60,
                         cores.path(),
                         [this](qint64 pid) {
                             QElapsedTimer waited;
                             waited.start();
                             while (QDir(m_dir.path())
                                        .entryList({u"protected.wlm.quillory-*"_s}, QDir::Files)
                                        .isEmpty() &&
                                    waited.elapsed() < 30000)
                                 QThread::msleep(2);
                             ::kill(pid_t(pid), SIGABRT);
                         }});
        QVERIFY(WIFSIGNALED(run.status));
        QVERIFY2(!WCOREDUMP(run.status), "the run wrote a core file");
    }

    void emptyListsRestoreNothingButARegistryItemNeedsItsFile()
    {
        SampleProfile target;
        QVERIFY(
            ArchiveWriter()
                .add(u"krvstore.dat"_s, infoFile(u"0110000000"_s, {{u"BackupmailRules"_s, u" "_s}}))
                .write(archive()));
        const auto before = treeOf(target.path());
        Session session(target.path());
        QCOMPARE(session.open(archive()).status, OpenStatus::Opened);
        QCOMPARE(session.restore(allItems()).message.text, reportOf({{1, false}, {2, true}}));
        QCOMPARE(treeOf(target.path()), before);
    }
};

QUILLORY_TEST(HostileArchiveTest)
#include "tst_hostilearchives.moc"
