#include "app/storediscovery.h"
#include "backup/backupcollectors.h"
#include "backup/backuprun.h"
#include "platform/wine/wineregistrystore.h"
#include "registry/modreg.h"
#include "restore/restoreitems.h"
#include "restorefixture.h"
#include "support/lockholder.h"

#include <QDir>
#include <QDirIterator>
#include <QScopeGuard>
#include <QTest>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::StringLiterals;

namespace {

QStringList storeFiles(const QString &folder, const QStringList &patterns = {})
{
    return QDir(folder).entryList(patterns, QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class RestoreRoundTripTest : public QObject {
    Q_OBJECT

    SampleProfile m_source;
    QTemporaryDir m_dir;
    QString m_archive;
    QString m_plainArchive;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_source.isValid());
        m_archive = m_dir.filePath(u"all.wlm"_s);
        const Result backedUp = backUp(m_source.path(), m_archive, allItems(), u"secret"_s);
        QVERIFY2(backedUp, qPrintable(backedUp.message()));
        m_plainArchive = m_dir.filePath(u"plain.wlm"_s);
        QVERIFY(backUp(m_source.path(), m_plainArchive, allItems()));
    }

    void everyItemComesBackExactly_data()
    {
        QTest::addColumn<bool>("protect");
        QTest::newRow("protected") << true;
        QTest::newRow("unprotected") << false;
    }

    void everyItemComesBackExactly()
    {
        QFETCH(bool, protect);
        SampleProfile target(
            {u"--seed"_s, u"3"_s, u"--accounts"_s, u"2"_s, u"--no-rules"_s, u"--no-ldap"_s});
        QVERIFY(target.isValid());
        QVERIFY(writeFile(target.store(u"Work/stale.eml"_s), "replaced with the folder"));
        QVERIFY(writeFile(target.store(u"Only Here/kept.eml"_s), "not in the backup"));
        const auto onlyHere = treeOf(target.store(u"Only Here"_s));
        {
            WineRegistryStore registry(target.path());
            QVERIFY(registry.createKey(RegistryRoot::CurrentUser,
                                       MailKeys::signatures.section(u'\\', 1) + u"\\Later"_s));
            QVERIFY(registry.save());
        }

        Session session(target.path());
        QCOMPARE(session.open(protect ? m_archive : m_plainArchive, u"secret"_s).status,
                 OpenStatus::Opened);
        const QString staging = QFileInfo(session.state.infoFilePath).path();
        const RestoreOutcome outcome = session.restore(allItems());
        QVERIFY2(outcome.allRestored(), qPrintable(outcome.problems.join(u'\n')));
        QCOMPARE(outcome.message.text, reportOf({{0, true},
                                                 {1, true},
                                                 {2, true},
                                                 {3, true},
                                                 {4, true},
                                                 {5, true},
                                                 {6, true},
                                                 {7, true},
                                                 {8, true},
                                                 {9, true}}));
        QStringList steps;
        for (const RestoreItemInfo &item : restoreItemTable())
            steps.append(item.progress);
        QCOMPARE(session.steps, steps << u"Operation complete!"_s);
        QCOMPARE(session.percent, 100);
        // The bar never goes back, and it moves while the archive is checked (before the first
        // item's text) and while the accounts are restored (before the next item's text).
        const auto &reports = session.reports;
        QList<int> checking;
        QList<int> accounts;
        int texts = 0;
        for (qsizetype at = 0; at < reports.size(); ++at) {
            if (at > 0)
                QVERIFY(reports[at].second >= reports[at - 1].second);
            if (!reports[at].first.isEmpty())
                ++texts;
            else if (texts == 0 && reports[at].second > 5)
                checking.append(reports[at].second);
            else if (texts == 1 && reports[at].second < 20)
                accounts.append(reports[at].second);
        }
        QVERIFY2(checking.size() >= 2, qPrintable(QString::number(checking.size())));
        QVERIFY2(accounts.size() >= 2, qPrintable(QString::number(accounts.size())));

        for (const QString &folder : accountFolders(m_source.store()))
            QCOMPARE(treeOf(target.store(folder)), treeOf(m_source.store(folder)));
        QCOMPARE(treeOf(target.store(u"Only Here"_s)), onlyHere);
        for (const QString &file :
             storeFiles(m_source.store(), {u"*oeaccount"_s, u"*msmessagestore"_s}))
            QCOMPARE(readFile(target.store(file)), readFile(m_source.store(file)));
        QCOMPARE(treeOf(target.store(u"Contacts"_s)).keys(),
                 treeOf(m_source.store(u"Contacts"_s)).keys());
        for (const QString &file :
             storeFiles(m_source.store(u"Contacts/Default"_s), {u"*contact"_s, u"*group"_s}))
            QCOMPARE(readFile(target.store(u"Contacts/Default/"_s + file)),
                     readFile(m_source.store(u"Contacts/Default/"_s + file)));
        QCOMPARE(treeOf(target.stationery()), treeOf(m_source.stationery()));
        for (const QString &key : registryKeys)
            QCOMPARE(registryTree(target.path(), key), registryTree(m_source.path(), key));

        // Nothing staged stays behind, in the store or elsewhere.
        QCOMPARE(storeFiles(target.store()), storeFiles(m_source.store()));
        QVERIFY(QDir(target.store())
                    .entryList({u".*"_s}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
        QVERIFY(!QFileInfo::exists(staging));
    }

    // Restoring over accounts takes over the files that have not changed, as a second name of
    // the same file, and writes every other one anew without touching the old file.
    void unchangedMessagesAreTakenOverAndOthersWrittenAnew()
    {
        SampleProfile target({u"--seed"_s, u"5"_s, u"--accounts"_s, u"1"_s});
        QVERIFY(target.isValid());
        const auto restoreAccounts = [&] {
            Session session(target.path());
            QCOMPARE(session.open(m_plainArchive).status, OpenStatus::Opened);
            const RestoreOutcome outcome = session.restore(itemsOf({0}));
            QVERIFY2(outcome.allRestored(), qPrintable(outcome.problems.join(u'\n')));
        };
        restoreAccounts();
        const QStringList folders = accountFolders(m_source.store());
        QStringList files;
        for (const QString &folder : folders)
            for (QDirIterator it(target.store(folder), QDir::Files, QDirIterator::Subdirectories);
                 it.hasNext();)
                if (const QString file = it.next(); QFileInfo(file).size() > 0)
                    files.append(file);
        QVERIFY(files.size() >= 5);
        const auto status = [](const QString &file) {
            struct stat st {};
            ::stat(QFile::encodeName(file).constData(), &st);
            return st;
        };
        const auto identity = [&](const QString &file) { return status(file).st_ino; };
        const QString outside = m_dir.filePath(u"outside.eml"_s);
        const QByteArray linkedBefore = readFile(files[3]);
        QList<std::pair<QDateTime, QFile::Permissions>> restored;
        for (const QString &file : std::as_const(files))
            restored.append({QFileInfo(file).lastModified(), QFile::permissions(file)});
        // Each change alone makes a file no longer the one the archive holds.
        const auto setTime = [](const QString &file, const QDateTime &time) {
            QFile touched(file);
            return touched.open(QIODevice::ReadWrite) &&
                   touched.setFileTime(time, QFileDevice::FileModificationTime);
        };
        QByteArray flipped = readFile(files[0]);
        flipped[0] = flipped[0] == 'x' ? 'y' : 'x';
        QVERIFY(writeFile(files[0], flipped));
        QVERIFY(setTime(files[0], restored[0].first));
        QVERIFY(setTime(files[1], QDateTime::currentDateTime().addDays(-3)));
        QVERIFY(QFile::setPermissions(files[2], QFile::ReadOwner));
        QVERIFY(::link(QFile::encodeName(files[3]).constData(),
                       QFile::encodeName(outside).constData()) == 0);
        QList<ino_t> before;
        for (const QString &file : std::as_const(files))
            before.append(identity(file));

        restoreAccounts();
        for (const QString &folder : folders)
            QCOMPARE(treeOf(target.store(folder)), treeOf(m_source.store(folder)));
        for (qsizetype at = 0; at < files.size(); ++at) {
            QCOMPARE(identity(files[at]) == before[at], at >= 4);
            QCOMPARE(QFileInfo(files[at]).lastModified(), restored[at].first);
            QCOMPARE(QFile::permissions(files[at]), restored[at].second);
        }
        QCOMPARE(readFile(outside), linkedBefore);

        // Nothing is taken over from a folder reached through a symbolic link.
        const auto inSubfolder =
            std::find_if(files.cbegin() + 4, files.cend(), [&](const QString &file) {
                return !folders.contains(QFileInfo(QFileInfo(file).path()).fileName());
            });
        QVERIFY(inSubfolder != files.cend());
        const QString moved = QFileInfo(*inSubfolder).path();
        const QString elsewhere = m_dir.filePath(u"elsewhere"_s);
        QVERIFY(QDir().rename(moved, elsewhere));
        QVERIFY(QFile::link(elsewhere, moved));
        restoreAccounts();
        QVERIFY(!QFileInfo(moved).isSymLink());
        for (QDirIterator it(elsewhere, QDir::Files); it.hasNext();)
            QCOMPARE(status(it.next()).st_nlink, nlink_t(1));
    }

    void onlyTickedHeldItemsRunAndASecondRunNeedsNoReopening()
    {
        const QString archive = m_dir.filePath(u"some.wlm"_s);
        QVERIFY(backUp(m_source.path(), archive, itemsOf({1, 5, 6})));
        SampleProfile target({u"--seed"_s, u"2"_s});
        Session session(target.path());
        QCOMPARE(session.open(archive).status, OpenStatus::Opened);

        const RestoreOutcome none = session.restore({});
        QCOMPARE(none.message.text, u"Please select at least one item."_s);
        QCOMPARE(none.message.icon, MessageIcon::Warning);

        QCOMPARE(session.restore(itemsOf({1, 5, 9})).message.text,
                 reportOf({{1, true}, {5, true}}));
        QCOMPARE(session.steps, QStringList({u"Copying Mail Rules..."_s, u"Copying Contacts..."_s,
                                             u"Operation complete!"_s}));
        QCOMPARE(session.restore(itemsOf({6})).message.text, reportOf({{6, true}}));
        QCOMPARE(readFile(target.store(u"Mail.MSMessageStore"_s)),
                 readFile(m_source.store(u"Mail.MSMessageStore"_s)));
    }

    void theUnattendedBackupsStoreDatabaseComesBack()
    {
        const QString archive = m_dir.filePath(u"auto.wlm"_s);
        QVERIFY(backUp(m_source.path(), archive, itemsOf({0}), {}, true));
        SampleProfile target;
        QVERIFY(writeFile(target.store(u"WindowsMail.MSMessageStore"_s), "newer"));
        Session session(target.path());
        QCOMPARE(session.open(archive).status, OpenStatus::Opened);
        QCOMPARE(session.restore(itemsOf({0})).message.text, reportOf({{0, true}}));
        QCOMPARE(readFile(target.store(u"WindowsMail.MSMessageStore"_s)),
                 readFile(m_source.store(u"WindowsMail.MSMessageStore"_s)));
    }

    // Contacts and stationery folders are created one level deep only; registry items need the
    // mail client's key to have settings at all. A failed item changes nothing of its own.
    void itemsWithoutTheirPlaceFailAlone()
    {
        SampleProfile target({u"--no-contacts"_s, u"--no-stationery"_s});
        {
            ScriptedDialogs dialogs;
            WineRegistryStore registry(target.path());
            modReg reg(registry, dialogs);
            for (const QString &subkey : reg.ListSubkeys(MailKeys::mail))
                reg.DeleteKeyTree(MailKeys::mail + u'\\' + subkey);
        }
        const QByteArray userReg = readFile(target.path() + u"/user.reg"_s);
        Session session(target.path());
        QCOMPARE(session.open(m_archive, u"secret"_s).status, OpenStatus::Opened);
        const RestoreOutcome outcome = session.restore(allItems());
        QCOMPARE(outcome.message.text, reportOf({{0, true},
                                                 {1, false},
                                                 {2, true},
                                                 {3, false},
                                                 {4, false},
                                                 {5, false},
                                                 {6, true},
                                                 {7, false},
                                                 {8, true},
                                                 {9, false}}));
        QVERIFY(!QFileInfo::exists(target.store(u"Contacts"_s)));
        QCOMPARE(treeOf(target.stationery()), treeOf(m_source.stationery()));
        QCOMPARE(readFile(target.path() + u"/user.reg"_s), userReg);
    }

    void aBackupBetweenOpeningAndRestoring()
    {
        SampleProfile target({u"--seed"_s, u"5"_s});
        const QString opened = m_dir.filePath(u"opened.wlm"_s);
        QVERIFY(QFile::copy(m_archive, opened));
        Session session(target.path());
        QCOMPARE(session.open(opened, u"secret"_s).status, OpenStatus::Opened);
        // The Backup tab writes through the archive object the Restore tab opened.
        const auto backUpTo = [&](const QString &archive) {
            SilentObserver observer;
            return performBackup(session.context, session.Zip1,
                                 {archive, itemsOf({ItemContacts}), false, {}, u"between"_s},
                                 observer)
                .archive;
        };

        QVERIFY(backUpTo(m_dir.filePath(u"elsewhere.wlm"_s)));
        QCOMPARE(session.restore(itemsOf({ItemContacts})).message.text, reportOf({{5, true}}));

        QVERIFY(backUpTo(opened));
        const auto before = treeOf(target.path());
        const RestoreOutcome refused = session.restore(itemsOf({ItemContacts}));
        QVERIFY(!refused.started);
        QVERIFY2(refused.message.text.contains(u"has changed since it was opened. Open it again"_s),
                 qPrintable(refused.message.text));
        QCOMPARE(treeOf(target.path()), before);
    }

    // A backup that renames a new archive into place after the run checked the old one: the
    // account folders, extracted on handles of their own, must not come from the new file.
    void anArchiveReplacedOnceTheRestoreHasStarted()
    {
        SampleProfile target({u"--seed"_s, u"6"_s});
        const QString opened = m_dir.filePath(u"replaced.wlm"_s);
        QVERIFY(QFile::copy(m_archive, opened));
        Session session(target.path());
        QCOMPARE(session.open(opened, u"secret"_s).status, OpenStatus::Opened);
        const auto accounts = [&] {
            QMap<QString, QMap<QString, QByteArray>> trees;
            for (const QString &folder : accountFolders(target.store()))
                trees.insert(folder, treeOf(target.store(folder)));
            return trees;
        };
        const auto before = accounts();
        QVERIFY(!before.isEmpty());
        bool replaced = false;
        session.onStep = [&](const QString &step) {
            if (step != restoreItemTable()[ItemMailAccounts].progress)
                return;
            const QString copy = m_dir.filePath(u"replacement.wlm"_s);
            replaced = QFile::copy(m_archive, copy) &&
                       std::rename(QFile::encodeName(copy), QFile::encodeName(opened)) == 0;
        };
        const RestoreOutcome outcome = session.restore(itemsOf({ItemMailAccounts}));
        QVERIFY(replaced);
        QCOMPARE(outcome.message.text, reportOf({{0, false}}));
        QVERIFY2(outcome.problems.join(u'\n').contains(u"has changed since it was opened"_s),
                 qPrintable(outcome.problems.join(u'\n')));
        QCOMPARE(accounts(), before);
    }

    void nothingIsRestoredWhileWineHoldsTheRegistry()
    {
        SampleProfile target({u"--seed"_s, u"2"_s});
        const QString base = u"/tmp/.wine-%1"_s.arg(::getuid());
        const QString server = base + u'/' + serverFolderName(target.path());
        const bool baseExisted = QFileInfo::exists(base);
        QVERIFY(QDir().mkpath(server));
        const auto cleanup =
            qScopeGuard([&] { QDir(baseExisted ? server : base).removeRecursively(); });
        const auto before = treeOf(target.path());
        Session session(target.path());
        QCOMPARE(session.open(m_archive, u"secret"_s).status, OpenStatus::Opened);
        const QString staging = QFileInfo(session.state.infoFilePath).path();

        LockHolder wineserver(server + u"/lock"_s);
        QVERIFY(wineserver.isHolding());
        const RestoreOutcome refused = session.restore(allItems());
        QVERIFY(!refused.started);
        QCOMPARE(refused.message.icon, MessageIcon::Error);
        QVERIFY2(refused.message.text.contains(u"close Windows Live Mail and Wine first"_s),
                 qPrintable(refused.message.text));
        QCOMPARE(treeOf(target.path()), before);
        QVERIFY(!QFileInfo::exists(staging));
        // Files need no registry.
        QCOMPARE(session.restore(itemsOf({5})).message.text, reportOf({{5, true}}));
    }
};

QUILLORY_TEST(RestoreRoundTripTest)
#include "tst_restoreroundtrip.moc"
