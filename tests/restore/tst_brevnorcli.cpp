#include "backup/backupcollectors.h"
#include "platform/wine/wineregistrystore.h"
#include "restorefixture.h"
#include "scratchfilesystem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>

#include <csignal>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::StringLiterals;

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// Runs brevnor-cli on `prefix`, with QUILLORY_PASSWORD set to `password` unless it is null, and
// with an input that is no terminal.
Run cli(const QStringList &arguments, const QString &prefix = {}, const QString &password = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"WINEPREFIX"_s, prefix.isEmpty() ? u"/nonexistent"_s : prefix);
    environment.remove(u"QUILLORY_PASSWORD"_s);
    if (!password.isNull())
        environment.insert(u"QUILLORY_PASSWORD"_s, password);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(binDir() + u"/brevnor-cli"_s, arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// The messages of an account folder, by the account ("Work") and by each folder holding messages
// ("Work/Inbox"): how many and their bytes.
using MessageCounts = QMap<QString, std::pair<qint64, qint64>>;

void countMessages(const QString &account, const QMap<QString, QByteArray> &tree,
                   MessageCounts &counts)
{
    for (auto file = tree.cbegin(); file != tree.cend(); ++file) {
        if (!file.key().endsWith(u".eml"_s))
            continue;
        for (const QString &key : {account, account + u'/' + file.key().section(u'/', 0, -2)}) {
            ++counts[key].first;
            counts[key].second += file.value().size();
        }
    }
}

// The keys and values of the user's key tree `path`, of every type.
void countRegistry(const QString &prefix, const QString &path, qint64 &keys, qint64 &values)
{
    const WineRegistryStore store(prefix);
    ++keys;
    values += store.values(RegistryRoot::CurrentUser, path).value_or(QList<RegistryValue>()).size();
    for (const QString &name : store.subkeys(RegistryRoot::CurrentUser, path))
        countRegistry(prefix, path + u'\\' + name, keys, values);
}

// The store's files and the user's registry, everything a restore may change.
QMap<QString, QByteArray> profileState(const SampleProfile &profile)
{
    QMap<QString, QByteArray> state = treeOf(profile.store());
    state.insert(u"user.reg"_s, readFile(profile.path() + u"/user.reg"_s));
    return state;
}

} // namespace

class BrevnorCliTest : public QObject {
    Q_OBJECT

    SampleProfile m_source;
    QTemporaryDir m_dir;

    QString file(const QString &name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_source.isValid()); }

    void backupInfoVerifyAndRestore()
    {
        const QString archive = file(u"cli.wlm"_s);
        QVERIFY(writeFile(file(u"password"_s), "secret\n"));
        const Run backup = cli({u"backup"_s, archive, u"--items=1,contacts"_s, u"--description"_s,
                                u"first\nsecond"_s, u"--password-file"_s, file(u"password"_s)},
                               m_source.path());
        QCOMPARE(backup.status, 0);
        QCOMPARE(backup.out, u"The Backup was Completed!\n\nBackup Mail Rules\tSuccessed!\n"
                             "Backup Contacts\tSuccessed!\n"_s);

        const Run info = cli({u"info"_s, archive}, {}, u"secret"_s);
        QCOMPARE(info.status, 0);
        QVERIFY2(
            info.out.contains(u"\nComputer:"_s) && info.out.contains(u"\nUser:"_s) &&
                info.out.contains(u"\nDate:"_s) && info.out.contains(u"  first\n  second\n"_s) &&
                info.out.contains(u"[x] 1 mailrules"_s) && info.out.contains(u"[ ] 0 accounts"_s),
            qPrintable(info.out));
        const Run wrong = cli({u"info"_s, archive}, {}, u"wrong"_s);
        QCOMPARE(wrong.status, 2);
        QVERIFY(wrong.err.contains(u"Incorect Password or Invalid backup file"_s));
        const Run none = cli({u"verify"_s, archive});
        QCOMPARE(none.status, 2);
        QVERIFY(none.err.contains(u"--password-file"_s));
        QCOMPARE(cli({u"verify"_s, archive, u"--password-file"_s, file(u"password"_s)}).status, 0);
        // Stopped while it waits at the password prompt: at once, not after two answers.
        const ProgramRun stopped =
            runOnTerminal(u"/usr/bin/timeout"_s,
                          {u"--foreground"_s, u"--preserve-status"_s, u"-k"_s, u"5"_s, u"-s"_s,
                           u"TERM"_s, u"1"_s, binDir() + u"/brevnor-cli"_s, u"verify"_s, archive});
        QVERIFY2(stopped.exitCode == 2 && stopped.out.contains("stopped by SIGTERM"),
                 stopped.out.constData());

        SampleProfile target({u"--seed"_s, u"2"_s});
        const Run restore =
            cli({u"restore"_s, archive, u"--items"_s, u"contacts,9"_s}, target.path(), u"secret"_s);
        QCOMPARE(restore.status, 0);
        QCOMPARE(restore.out, u"The Restore was Completed!\n\nRestore Contacts\tSuccessed!\n"_s);
        QVERIFY(restore.err.contains(u"settings"_s));
        QCOMPARE(readFile(target.store(u"Contacts/Default/Bob Example.contact"_s)),
                 readFile(m_source.store(u"Contacts/Default/Bob Example.contact"_s)));

        SampleProfile bare({u"--no-contacts"_s});
        const Run failed = cli({u"restore"_s, archive}, bare.path(), u"secret"_s);
        QCOMPARE(failed.status, 1);
        QVERIFY(
            failed.out.endsWith(u"Restore Mail Rules\tSuccessed!\nRestore Contacts\tFail!\n"_s));
    }

    void theWholeProfileByDefault()
    {
        const QString archive = file(u"all.wlm"_s);
        const Run backup = cli({u"backup"_s, archive, u"--protect"_s}, m_source.path(), u"pw"_s);
        QCOMPARE(backup.status, 0);
        QCOMPARE(backup.out.count(u"Successed!"_s), ItemCount);
        SampleProfile target({u"--seed"_s, u"4"_s});
        const Run restore = cli({u"restore"_s, archive}, target.path(), u"pw"_s);
        QCOMPARE(restore.status, 0);
        QCOMPARE(restore.out.count(u"Successed!"_s), ItemCount);
        QCOMPARE(treeOf(target.store(u"Work"_s)), treeOf(m_source.store(u"Work"_s)));
    }

    // A dry run tells the estimate and the room, and changes nothing anywhere.
    void aDryRunWritesNothing()
    {
        QTemporaryDir target;
        const QMap<QString, QByteArray> before = profileState(m_source);
        const Run dry =
            cli({u"backup"_s, target.filePath(u"dry.wlm"_s), u"--dry-run"_s, u"--protect"_s},
                m_source.path());
        QCOMPARE(dry.status, 0);
        static const QRegularExpression expected(
            u"^Estimated archive size: about \\d[.\\d]* (KB|MB)\n"
            "Archive's folder: \\S+ [KMGT]?B free on /.*\n"
            "Temporary folder: \\S+ [KMGT]?B free on /.*\n$"_s);
        QVERIFY2(expected.match(dry.out).hasMatch(), qPrintable(dry.out));
        QVERIFY(QDir(target.path()).isEmpty());
        QCOMPARE(profileState(m_source), before);
    }

    // list tells what a backup of the profile holds, read from the directories of the archive
    // and of its nested archives, protected or not.
    void listShowsWhatTheProfileHolds_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QString();
        QTest::newRow("protected") << u"pw"_s;
    }

    void listShowsWhatTheProfileHolds()
    {
        QFETCH(QString, password);
        const QString archive = file(u"list.wlm"_s);
        QVERIFY(backUp(m_source.path(), archive, allItems(), password));
        const Run run = cli({u"list"_s, archive, u"--json"_s}, {}, password);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QJsonArray items = QJsonDocument::fromJson(run.out.toUtf8())[u"items"_s].toArray();
        QCOMPARE(items.size(), ItemCount);

        MessageCounts expected;
        for (const QString &account : accountFolders(m_source.store()))
            countMessages(account, treeOf(m_source.store(account)), expected);
        MessageCounts listed;
        for (const QJsonValue &account : items[ItemMailAccounts][u"accounts"_s].toArray()) {
            const QString name = account[u"folder"_s].toString();
            listed[name] = {account[u"messages"_s].toInteger(), account[u"bytes"_s].toInteger()};
            for (const QJsonValue &folder : account[u"messageFolders"_s].toArray())
                if (folder[u"messages"_s].toInteger() > 0)
                    listed[name + u'/' + folder[u"name"_s].toString()] = {
                        folder[u"messages"_s].toInteger(), folder[u"bytes"_s].toInteger()};
        }
        QCOMPARE(listed, expected);

        QMap<QString, qint64> contacts;
        for (const QJsonValue &contact : items[ItemContacts][u"files"_s].toArray())
            contacts[contact[u"name"_s].toString()] = contact[u"size"_s].toInteger();
        QMap<QString, qint64> files;
        const QMap<QString, QByteArray> contactFiles =
            treeOf(m_source.store(u"Contacts/Default"_s));
        for (auto contact = contactFiles.cbegin(); contact != contactFiles.cend(); ++contact)
            // The folder's other files are no contacts, and stay out of the backup.
            if (!contact.key().endsWith(u".txt"_s))
                files[contact.key()] = contact.value().size();
        QCOMPARE(contacts, files);

        qint64 keys = 0;
        qint64 values = 0;
        countRegistry(m_source.path(), MailKeys::mailRules.section(u'\\', 1), keys, values);
        QCOMPARE(items[ItemMailRules][u"keys"_s].toInteger(), keys);
        QCOMPARE(items[ItemMailRules][u"values"_s].toInteger(), values);

        const Run text = cli({u"list"_s, archive}, {}, password);
        QCOMPARE(text.status, 0);
        QVERIFY2(
            text.out.contains(u"  account \"Work\": %1 messages"_s.arg(expected[u"Work"_s].first)),
            qPrintable(text.out));
    }

    // --account restores the named account folders alone, each whole; every other account, the
    // store database and every other item stay as they were, byte for byte. A name the archive
    // does not hold changes nothing.
    void restoreChosenAccounts_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("restored");
        QTest::addColumn<int>("status");
        QTest::newRow("one, named in another case")
            << QStringList{u"--items"_s, u"accounts"_s, u"--account"_s, u"WORK"_s}
            << QStringList{u"Work"_s} << 0;
        QTest::newRow("two, the item implied")
            << QStringList{u"--account=home"_s, u"--account"_s, u"Work"_s}
            << QStringList{u"Home"_s, u"Work"_s} << 0;
        QTest::newRow("unknown") << QStringList{u"--items"_s, u"0,contacts"_s, u"--account"_s,
                                                u"Work"_s,    u"--account"_s,  u"Nobody"_s}
                                 << QStringList() << 2;
    }

    void restoreChosenAccounts()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, restored);
        QFETCH(int, status);
        const QString archive = file(u"some.wlm"_s);
        QVERIFY(backUp(m_source.path(), archive, allItems()));
        SampleProfile target({u"--seed"_s, u"7"_s});
        QVERIFY(target.isValid());
        const QMap<QString, QByteArray> before = profileState(target);
        for (const QString &account : restored)
            QVERIFY(treeOf(target.store(account)) != treeOf(m_source.store(account)));

        const Run run = cli(QStringList{u"restore"_s, archive} + options, target.path());
        QCOMPARE(run.status, status);
        if (status != 0)
            QVERIFY2(run.err.contains(u"\"Nobody\""_s) && run.err.contains(u"\"Home\""_s) &&
                         run.err.contains(u"\"news.example.com\""_s),
                     qPrintable(run.err));
        QMap<QString, QByteArray> after = profileState(target);
        QMap<QString, QByteArray> unchanged = before;
        for (const QString &account : restored) {
            const QMap<QString, QByteArray> source = treeOf(m_source.store(account));
            QCOMPARE(treeOf(target.store(account)), source);
            for (auto *tree : {&after, &unchanged})
                tree->removeIf([&](const auto &entry) {
                    return entry.key() == account + u'/' || entry.key().startsWith(account + u'/');
                });
        }
        QCOMPARE(after, unchanged);
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        const QString damaged = file(u"damaged.wlm"_s);
        QTest::newRow("damaged") << QStringList{u"verify"_s, damaged} << u"\"a.contact\""_s;
        QTest::newRow("restore from damaged")
            << QStringList{u"restore"_s, damaged} << u"Nothing was restored"_s;
        QTest::newRow("no archive") << QStringList{u"restore"_s} << u"no archive"_s;
        QTest::newRow("unknown item")
            << QStringList{u"restore"_s, damaged, u"--items"_s, u"10"_s} << u"\"10\""_s;
        QTest::newRow("password argument")
            << QStringList{u"info"_s, damaged, u"--password"_s, u"x"_s} << u"--password"_s;
        QTest::newRow("backup option elsewhere")
            << QStringList{u"info"_s, damaged, u"--protect"_s} << u"--protect"_s;
        QTest::newRow("not an archive")
            << QStringList{u"info"_s, file(u"password"_s)} << u"Invalid backup file"_s;
        QTest::newRow("an archive cut short")
            << QStringList{u"verify"_s, file(u"truncated.wlm"_s)}
            << u"it is damaged or incomplete: it ends before its directory"_s;
        QTest::newRow("list a nested archive that is none")
            << QStringList{u"list"_s, file(u"broken.wlm"_s)} << u"\"Home.zip\""_s;
        QTest::newRow("list an entry the archive lacks")
            << QStringList{u"list"_s, file(u"lacking.wlm"_s)} << u"\"Work.zip\""_s;
        QTest::newRow("list not an archive")
            << QStringList{u"list"_s, file(u"password"_s)} << u"Invalid backup file"_s;
        QTest::newRow("unknown command") << QStringList{u"frobnicate"_s} << u"unknown"_s;
        QTest::newRow("password file without end")
            << QStringList{u"backup"_s, file(u"new.wlm"_s), u"--password-file"_s, u"/dev/zero"_s}
            << u"is not a regular file"_s;
        // Nobody writes to it: waiting for one would hold the run and the profile's lock.
        QTest::newRow("password file a pipe")
            << QStringList{u"backup"_s, file(u"new.wlm"_s), u"--password-file"_s, file(u"pipe"_s)}
            << u"is not a regular file"_s;
    }

    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QVERIFY(writeFile(file(u"password"_s), "secret\n"));
        QVERIFY(QFileInfo::exists(file(u"pipe"_s)) ||
                ::mkfifo(QFile::encodeName(file(u"pipe"_s)).constData(), 0600) == 0);
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s,
                         infoFile(u"0000010000"_s, {{u"BackupContacts"_s, u"a.contact"_s}}))
                    .add(u"a.contact"_s, "contact data")
                    .write(file(u"damaged.wlm"_s)));
        QVERIFY(damage(file(u"damaged.wlm"_s), "contact data"));
        QVERIFY(writeFile(file(u"truncated.wlm"_s), readFile(file(u"damaged.wlm"_s)).left(60)));
        const QByteArray accountsInfo =
            infoFile(u"1000000000"_s, {{u"Backupmailaccountsandmessages"_s, u"Home.zip"_s}});
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s, accountsInfo)
                    .add(u"Home.zip"_s, "no archive")
                    .write(file(u"broken.wlm"_s)));
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s,
                         infoFile(u"1000000000"_s,
                                  {{u"Backupmailaccountsandmessages"_s, u"Work.zip"_s}}))
                    .write(file(u"lacking.wlm"_s)));
        const Run run = cli(arguments, m_source.path());
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(error), qPrintable(run.err));
    }

    // A registry restore that cannot write gives the system's reason and, having changed
    // nothing, exits 2.
    void aRegistryThatCannotBeWritten_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("reason");
        QTest::newRow("disk full") << false << qt_error_string(ENOSPC);
        QTest::newRow("read-only") << true << qt_error_string(EROFS);
    }

    void aRegistryThatCannotBeWritten()
    {
        QFETCH(bool, readOnly);
        QFETCH(QString, reason);
        ScratchFileSystem disk(64 * 1024 * 1024);
        if (!disk.isMounted())
            QSKIP("needs the right to mount a tmpfs");
        QVERIFY(makeSampleProfile(disk.path()));
        const QString archive = file(u"registry.wlm"_s);
        QVERIFY(backUp(m_source.path(), archive, itemsOf({ItemMailRules, ItemSettings})));
        const QByteArray userReg = readFile(disk.path() + u"/user.reg"_s);
        QVERIFY(readOnly ? disk.makeReadOnly() : disk.fill());

        const Run run = cli({u"restore"_s, archive}, disk.path());
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(reason) && !run.err.contains(u"close Windows Live Mail"_s),
                 qPrintable(run.err));
        QCOMPARE(readFile(disk.path() + u"/user.reg"_s), userReg);
    }

    // Killed while the accounts are being replaced, the restore leaves each account folder as it
    // was or as restored, whole; the next run clears what the killed one left and restores all.
    void aKilledRestoreLeavesEachAccountWhole()
    {
        const QString archive = file(u"accounts.wlm"_s);
        QVERIFY(backUp(m_source.path(), archive, itemsOf({ItemMailAccounts})));
        SampleProfile target({u"--seed"_s, u"6"_s});
        const QDir store(target.store());
        const QStringList folders = accountFolders(m_source.store());
        QMap<QString, QMap<QString, QByteArray>> old;
        QMap<QString, QMap<QString, QByteArray>> restored;
        for (const QString &folder : folders) {
            old.insert(folder, treeOf(store.filePath(folder)));
            restored.insert(folder, treeOf(m_source.store(folder)));
            QVERIFY(old[folder] != restored[folder]);
        }

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"WINEPREFIX"_s, target.path());
        QProcess run;
        run.setProcessEnvironment(environment);
        run.start(binDir() + u"/brevnor-cli"_s, {u"restore"_s, archive});
        QVERIFY(run.waitForStarted());
        const QStringList restoring{u".*.restoring-*"_s};
        while (!run.waitForFinished(1) &&
               store.entryList(restoring, QDir::Dirs | QDir::Hidden).isEmpty()) {
        }
        // A process already ended has no id: 0 would signal this test's own process group.
        if (const qint64 pid = run.processId(); pid > 0)
            ::kill(pid_t(pid), SIGKILL);
        run.waitForFinished(-1);
        for (const QString &folder : folders) {
            const auto now = treeOf(store.filePath(folder));
            QVERIFY2(now == old[folder] || now == restored[folder], qPrintable(folder));
        }

        QCOMPARE(cli({u"restore"_s, archive}, target.path()).status, 0);
        for (const QString &folder : folders)
            QCOMPARE(treeOf(store.filePath(folder)), restored[folder]);
        QCOMPARE(store.entryList(restoring, QDir::Dirs | QDir::Hidden), QStringList());
    }

    void helpExplainsEverything()
    {
        const Run help = cli({u"--help"_s});
        QCOMPARE(help.status, 0);
        for (const QString &part :
             {u"info ARCHIVE"_s, u"list ARCHIVE [--json]"_s, u"--account NAME"_s,
              u"verify ARCHIVE"_s, u"restore ARCHIVE"_s, u"backup ARCHIVE"_s,
              u"QUILLORY_PASSWORD"_s, u"--password-file"_s, u"stationeries"_s, u"Exit status"_s})
            QVERIFY2(help.out.contains(part), qPrintable(part));
    }
};

QUILLORY_TEST(BrevnorCliTest)
#include "tst_brevnorcli.moc"
