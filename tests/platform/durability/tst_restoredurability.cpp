// A restore has everything it wrote on disk before an old copy goes, and a sync that fails keeps
// the item's old data.
#include "restorefixture.h"
#include "syncrecorder.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::StringLiterals;

namespace {

// What is left of restores in the store: the folders they work in beside each account.
QStringList workFolders(const SampleProfile &profile)
{
    return QDir(profile.store())
        .entryList({u".*.restoring-*"_s}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class RestoreDurabilityTest : public QObject {
    Q_OBJECT

    SampleProfile m_source;
    QTemporaryDir m_dir;
    QString m_archive;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_source.isValid());
        m_archive = m_dir.filePath(u"backup.wlm"_s);
        const Result backedUp =
            backUp(m_source.path(), m_archive, itemsOf({ItemMailAccounts, ItemContacts}));
        QVERIFY2(backedUp, qPrintable(backedUp.message()));
    }

    // Seen from outside: each account's new folder is synced before it takes the old one's place,
    // and the swap is synced before any old copy is removed.
    void syncsComeBeforeTheSwapAndTheRemoval()
    {
        const QString strace = QStandardPaths::findExecutable(u"strace"_s);
        if (strace.isEmpty())
            QSKIP("strace is not installed");
        if (runProgram(strace, {u"-o"_s, u"/dev/null"_s, u"true"_s}).exitCode != 0)
            QSKIP("strace may not trace processes here");
        SampleProfile target({u"--seed"_s, u"2"_s});
        QVERIFY(target.isValid());
        const QString log = m_dir.filePath(u"strace.log"_s);
        const ProgramRun run = runProgram(
            strace,
            {u"-f"_s, u"-s"_s, u"4096"_s, u"-o"_s, log, u"-e"_s,
             u"trace=syncfs,fsync,fdatasync,renameat2,unlink,unlinkat,rmdir"_s,
             binDir() + u"/brevnor-cli"_s, u"restore"_s, m_archive, u"--items"_s, u"accounts"_s},
            {u"WINEPREFIX="_s + target.path()});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(treeOf(target.store(u"Work"_s)), treeOf(m_source.store(u"Work"_s)));

        const QStringList calls = QString::fromUtf8(readFile(log)).split(u'\n');
        const QRegularExpression sync(u"^(\\d+) +(syncfs|fsync|fdatasync)\\("_s);
        const QRegularExpression swap(u"^(\\d+) +renameat2\\(.*RENAME_EXCHANGE"_s);
        const QRegularExpression removal(u"^\\d+ +(unlink|unlinkat|rmdir)\\(.*\\.restoring-"_s);
        const auto first = [&](const QRegularExpression &call) {
            for (qsizetype at = 0; at < calls.size(); ++at)
                if (call.match(calls[at]).hasMatch())
                    return at;
            return qsizetype(-1);
        };
        const qsizetype swapped = first(swap);
        const qsizetype removed = first(removal);
        QVERIFY(swapped >= 0);
        QVERIFY(removed > swapped);
        // A sync by the thread that swapped: before the swap, and between it and the removal.
        const QString thread = swap.match(calls[swapped]).captured(1);
        const auto syncedBy = [&](qsizetype from, qsizetype to) {
            for (qsizetype at = from; at < to; ++at)
                if (const auto found = sync.match(calls[at]);
                    found.hasMatch() && found.captured(1) == thread)
                    return true;
            return false;
        };
        QVERIFY(syncedBy(0, swapped));
        QVERIFY(syncedBy(swapped + 1, removed));
    }

    void aFailedSyncKeepsTheOldData_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("failing");
        // A file changed since the backup, in a folder the restore would replace or write into.
        QTest::addColumn<QString>("changed");
        QTest::newRow("an account's new folder")
            << int(ItemMailAccounts) << u"/\\.Work\\.restoring-[^/]*/new-[^/]*"_s
            << u"Work/Inbox/new.eml"_s;
        QTest::newRow("the store folder after the swap")
            << int(ItemMailAccounts) << u"/Windows Live Mail$"_s << u"Work/Inbox/new.eml"_s;
        QTest::newRow("a contact") << int(ItemContacts) << u"\\.contact\\.quillory-"_s
                                   << u"Contacts/Default/Bob Example.contact"_s;
    }

    void aFailedSyncKeepsTheOldData()
    {
        QFETCH(int, item);
        QFETCH(QString, failing);
        QFETCH(QString, changed);
        SampleProfile target;
        QVERIFY(target.isValid());
        QVERIFY(writeFile(target.store(changed), "changed since the backup"));
        const QString kept = target.store(changed.section(u'/', 0, 1));
        const QMap<QString, QByteArray> before = treeOf(kept);
        Session session(target.path());
        QCOMPARE(session.open(m_archive).status, OpenStatus::Opened);

        SyncRecorder::failSyncsOf(failing);
        const RestoreOutcome outcome = session.restore(itemsOf({item}));
        SyncRecorder::clear();
        QCOMPARE(outcome.ran, itemsOf({item}));
        QCOMPARE(outcome.restored, ItemFlags{});
        QCOMPARE(treeOf(kept), before);
        QCOMPARE(workFolders(target), QStringList());
    }
};

QUILLORY_TEST(RestoreDurabilityTest)
#include "tst_restoredurability.moc"
