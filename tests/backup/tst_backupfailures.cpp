#include "backup/archiveestimate.h"
#include "backup/backupcollectors.h"
#include "backup/backupinfo.h"
#include "backupfixture.h"
#include "platform/registrystore.h"
#include "platform/runownedname.h"
#include "registry/modreg.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <fcntl.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::StringLiterals;

namespace {

QString indexList(const QString &flags)
{
    QStringList indexes;
    for (int i = 0; i < ItemCount; ++i)
        if (flags.at(i) == QLatin1Char('1'))
            indexes.append(QString::number(i));
    return indexes.join(QLatin1Char(','));
}

// The folders of a loaded profile a test puts files into, by a short name.
QString folderOf(const LoadedProfile &profile, const QString &which)
{
    const StoreLocations &store = profile.context->store();
    if (which == QLatin1String("contacts"))
        return store.contactsFolder();
    if (which == QLatin1String("stationery"))
        return store.stationeryFolder;
    return QDir(store.StoreFolder).filePath(which == QLatin1String("store") ? QString() : which);
}

// A socket's path must fit a short buffer, so it is bound by its bare name inside its folder.
bool makeSocket(const QString &path)
{
    const QString before = QDir::currentPath();
    if (!QDir::setCurrent(QFileInfo(path).path()))
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
    std::strncpy(address.sun_path, name.constData(), sizeof(address.sun_path) - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound =
        fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    if (fd >= 0)
        ::close(fd);
    QDir::setCurrent(before);
    return bound;
}

bool makeSpecial(const QString &path, const QString &kind)
{
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == QLatin1String("socket"))
        return makeSocket(path);
    return QFile::link(QStringLiteral("/nonexistent/quillory-gone"), path);
}

// A file the backup cannot read: without permission, or one whose every read fails, which
// holds as root too (the first page of a process's memory is never mapped).
bool makeUnreadable(const QString &path, const QString &how)
{
    if (how == QLatin1String("read error"))
        return QFile::link(QStringLiteral("/proc/self/mem"), path);
    return writeFile(path, "private") && QFile::setPermissions(path, QFileDevice::Permissions());
}

// As cron or a terminal starts them, limited to files of `fileLimitBlocks` blocks when not 0:
// the shell's block is 512 or 1024 bytes, and the tests leave room for either.
ProgramRun runLimited(const QStringList &command, const QString &prefix, const QString &tmp,
                      int fileLimitBlocks)
{
    const QString limit =
        fileLimitBlocks ? QStringLiteral("ulimit -f %1; ").arg(fileLimitBlocks) : QString();
    return runProgram(
        QStringLiteral("sh"),
        QStringList{QStringLiteral("-c"),
                    QStringLiteral("trap '' XFSZ; ") + limit + QStringLiteral("exec \"$@\""),
                    QStringLiteral("sh")} +
            command,
        {QStringLiteral("WINEPREFIX=") + prefix, QStringLiteral("TMPDIR=") + tmp,
         QStringLiteral("DISPLAY="), QStringLiteral("WAYLAND_DISPLAY="),
         QStringLiteral("QT_QPA_PLATFORM=")});
}

} // namespace

class BackupFailuresTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void failedRunsKeepTheOldArchive_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("items");
        QTest::addColumn<QString>("reason");
        const QString tooLarge = u"backup.wlm: Write error: File too large"_s;
        const QString noStore = u"No Windows Live Mail store was found in the Wine prefix"_s;
        const QString noItem = u"None of the chosen items could be stored"_s;
        QTest::newRow("disk full while accounts are written") << "full"
                                                              << "1100000000" << tooLarge;
        QTest::newRow("WINEPREFIX an empty folder") << "empty"
                                                    << "1100000000" << noStore;
        QTest::newRow("WINEPREFIX missing") << "missing"
                                            << "0000010001" << noStore;
        QTest::newRow("no chosen item stored") << "no contacts"
                                               << "0000010000" << noItem;
    }

    // The window's core run, the unattended run and brevnor-cli alike.
    void failedRunsKeepTheOldArchive()
    {
        QFETCH(QString, setup);
        QFETCH(QString, items);
        QFETCH(QString, reason);
        LoadedProfile profile;
        QVERIFY(profile.load(setup == QLatin1String("no contacts")
                                 ? QStringList{QStringLiteral("--no-contacts")}
                                 : QStringList{}));
        QString prefix = profile.prefix();
        int fileLimitBlocks = 0;
        if (setup == QLatin1String("full")) {
            QVERIFY(
                writeFile(folderOf(profile, QStringLiteral("Work")) + QStringLiteral("/big.eml"),
                          noise(1024 * 1024)));
            fileLimitBlocks = 256;
        } else if (setup == QLatin1String("empty")) {
            prefix = profile.dir.filePath(QStringLiteral("empty"));
            QVERIFY(QDir().mkpath(prefix));
        } else if (setup == QLatin1String("missing")) {
            prefix = profile.dir.filePath(QStringLiteral("missing"));
        }
        const QByteArray old = "the last good backup";
        QVERIFY(writeFile(profile.archive(), old));

        profile.context = std::make_unique<ProgramContext>(prefix, profile.dialogs);
        loadProgram(*profile.context);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit limited = before;
        if (fileLimitBlocks)
            limited.rlim_cur = 128 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const BackupOutcome outcome = backUp(profile, itemsOf(items));
        setrlimit(RLIMIT_FSIZE, &before);
        QVERIFY(!outcome.archive.ok());
        QVERIFY2(outcome.archive.message().contains(reason), qPrintable(outcome.archive.message()));
        QCOMPARE(readFile(profile.archive()), old);

        const QStringList commands[] = {
            {binDir() + QStringLiteral("/brevnor"),
             QStringLiteral("sf=annaxm=%1ps=bf=%2").arg(items, profile.archive())},
            {binDir() + QStringLiteral("/brevnor-cli"), QStringLiteral("backup"), profile.archive(),
             QStringLiteral("--items=") + indexList(items)},
        };
        // Under ThreadSanitizer a program whose threads end after a write past the cap can abort
        // in the C library's thread teardown; the programs as shipped are checked here.
        if (underSanitizer && fileLimitBlocks)
            return;
        for (const QStringList &command : commands) {
            QTemporaryDir tmp;
            const ProgramRun run = runLimited(command, prefix, tmp.path(), fileLimitBlocks);
            QVERIFY2(run.exitCode == 2, run.err.constData());
            QVERIFY2(QString::fromUtf8(run.err).contains(reason), run.err.constData());
            QCOMPARE(readFile(profile.archive()), old);
            QVERIFY(QDir(tmp.path()).isEmpty());
        }
    }

    void aFileThatCannotBeReadFailsOnlyItsItem_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("how");
        QTest::newRow("LDAP account") << int(ItemLdapAccounts) << "store"
                                      << "bad.oeaccount"
                                      << "read error";
        QTest::newRow("contact") << int(ItemContacts) << "contacts"
                                 << "bad.contact"
                                 << "read error";
        QTest::newRow("database") << int(ItemMailDatabase) << "store"
                                  << "bad.msmessagestore"
                                  << "read error";
        QTest::newRow("stationery") << int(ItemStationeries) << "stationery"
                                    << "bad.jpg"
                                    << "read error";
        QTest::newRow("message of an account") << int(ItemMailAccounts) << "Work"
                                               << "bad.eml"
                                               << "read error";
        QTest::newRow("stationery without permission") << int(ItemStationeries) << "stationery"
                                                       << "bad.jpg"
                                                       << "no permission";
    }

    void aFileThatCannotBeReadFailsOnlyItsItem()
    {
        QFETCH(int, item);
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QString, how);
        if (how == QLatin1String("no permission") && ::geteuid() == 0)
            QSKIP("Permissions do not keep root from reading.");
        LoadedProfile profile;
        QVERIFY(profile.load());
        QVERIFY(makeUnreadable(QDir(folderOf(profile, folder)).filePath(name), how));

        // As the window runs it, and as unattended runs do, whose size estimate checks the
        // account folders for the run.
        for (const bool checkedFirst : {false, true}) {
            BackupRequest request;
            request.archivePath = profile.archive();
            request.items = itemsOf({item, ItemMailRules});
            if (checkedFirst)
                estimateArchive(profile.context->store(), request.items, false,
                                &request.checkedFolders);
            QCOMPARE(request.checkedFolders.isEmpty(), !checkedFirst || item != ItemMailAccounts);
            const BackupOutcome outcome = backUp(profile, request);
            QVERIFY2(outcome.archive.ok(), qPrintable(outcome.archive.message()));
            QCOMPARE(outcome.stored, itemsOf({ItemMailRules}));
            QCOMPARE(outcome.problems.size(), 1);
            QVERIFY2(outcome.problems.first().contains(name), qPrintable(outcome.problems.first()));
            QCOMPARE(infoLines(profile.archive()).last(), QStringLiteral("BackupItem=0100000000"));
        }
    }

    void specialFilesAreLeftOutSilently_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("socket") << "socket";
        QTest::newRow("dangling link") << "link";
    }

    void specialFilesAreLeftOutSilently()
    {
        QFETCH(QString, kind);
        LoadedProfile profile;
        QVERIFY(profile.load());
        const std::pair<const char *, const char *> places[] = {
            {"store", "Special"},
            {"store", "special.oeaccount"},
            {"store", "special.msmessagestore"},
            {"contacts", "special.contact"},
            {"stationery", "special.jpg"},
        };
        for (const auto &[folder, name] : places)
            QVERIFY(makeSpecial(
                QDir(folderOf(profile, QLatin1String(folder))).filePath(QLatin1String(name)),
                kind));

        const ItemFlags items = itemsOf(
            {ItemMailAccounts, ItemLdapAccounts, ItemContacts, ItemMailDatabase, ItemStationeries});
        const BackupOutcome outcome = backUp(profile, items, true);
        QVERIFY2(outcome.archive.ok(), qPrintable(outcome.archive.message()));
        QVERIFY2(outcome.allStored(items), qPrintable(outcome.problems.join(u'\n')));
        for (const QString &entry : archiveContents(profile.archive()).keys())
            QVERIFY2(!entry.startsWith(QLatin1String("special"), Qt::CaseInsensitive),
                     qPrintable(entry));
    }

    void namesThatCannotBeRestoredAreNotStored_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("itemStored");
        QTest::newRow("the information file's name") << int(ItemStationeries) << "stationery"
                                                     << "krvstore.dat" << false;
        QTest::newRow("semicolon") << int(ItemContacts) << "contacts"
                                   << "Smith; John.contact" << true;
        QTest::newRow("leading blank") << int(ItemContacts) << "contacts"
                                       << " Anna.contact" << true;
        QTest::newRow("trailing blank") << int(ItemStationeries) << "stationery"
                                        << "card.jpg " << true;
        QTest::newRow("account folder") << int(ItemMailAccounts) << "store"
                                        << "Smith; John" << true;
    }

    void namesThatCannotBeRestoredAreNotStored()
    {
        QFETCH(int, item);
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(bool, itemStored);
        LoadedProfile profile;
        QVERIFY(profile.load());
        const QString path = QDir(folderOf(profile, folder)).filePath(name);
        QVERIFY(item == ItemMailAccounts
                    ? QDir().mkpath(path) && writeFile(path + QStringLiteral("/m.eml"), "mail")
                    : writeFile(path, "data"));

        const BackupOutcome outcome = backUp(profile, itemsOf({item, ItemMailRules}));
        QVERIFY2(outcome.archive.ok(), qPrintable(outcome.archive.message()));
        QCOMPARE(outcome.stored[item], itemStored);
        QVERIFY(!outcome.allStored(itemsOf({item, ItemMailRules})));
        QVERIFY2(outcome.problems.join(u'\n').contains(QLatin1Char('"') + name + QLatin1Char('"')),
                 qPrintable(outcome.problems.join(u'\n')));
        if (itemStored)
            QVERIFY(outcome.log.contains(QLatin1Char('"') + name + QLatin1Char('"')));
        const QStringList entries = archiveContents(profile.archive()).keys();
        const QString entry = item == ItemMailAccounts ? name + QStringLiteral(".zip") : name;
        QCOMPARE(entries.count(entry), name == backupInfoFileName ? 1 : 0);
    }

    void theUnattendedRunNamesWhatItLeftOut()
    {
        LoadedProfile profile;
        QVERIFY(profile.load());
        QVERIFY(writeFile(folderOf(profile, QStringLiteral("contacts")) +
                              QStringLiteral("/Smith; John.contact"),
                          "data"));
        QTemporaryDir tmp;
        const ProgramRun run =
            runLimited({binDir() + QStringLiteral("/brevnor"),
                        QStringLiteral("sf=annaxm=0000010000ps=bf=") + profile.archive()},
                       profile.prefix(), tmp.path(), 0);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("\"Smith; John.contact\""), run.err.constData());
        QCOMPARE(infoLines(profile.archive()).last(), QStringLiteral("BackupItem=0000010000"));
    }

    // A message whose name is no UTF-8 text (copied from an old Latin-1 disk) is left out and
    // named; the rest of its account and of the profile is stored, run after run.
    void aNameThatIsNoTextIsLeftOutAlone()
    {
        LoadedProfile profile;
        QVERIFY(profile.load());
        const QByteArray odd =
            QFile::encodeName(folderOf(profile, QStringLiteral("Work"))) + "/Inbox/caf\xe9.eml";
        const int fd = ::open(odd.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        QTemporaryDir tmp;
        const ProgramRun run =
            runLimited({binDir() + QStringLiteral("/brevnor-cli"), QStringLiteral("backup"),
                        profile.archive(), QStringLiteral("--items=0,1")},
                       profile.prefix(), tmp.path(), 0);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("\"Work/Inbox/caf\\xE9.eml\""), run.err.constData());
        const QString nested = tmp.filePath(QStringLiteral("Work.zip"));
        QVERIFY(writeFile(nested,
                          archiveContents(profile.archive()).value(QStringLiteral("Work.zip"))));
        QVERIFY(archiveContents(nested).contains(QStringLiteral("Inbox/")));
        QCOMPARE(infoLines(profile.archive()).last(), QStringLiteral("BackupItem=1100000000"));
    }

    void accountFoldersAreTheMailClients_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("taken");
        QTest::newRow("account") << "Work" << true;
        QTest::newRow("hidden account") << ".Work" << true;
        QTest::newRow("client's, other case") << "contacts" << false;
        QTest::newRow("client's, upper case") << "STORAGE FOLDERS" << false;
        QTest::newRow("left by a killed restore") << ".Home.restoring-b34acc68" << false;
        QTest::newRow("a restore's, with its process") << ".Home.restoring-4711-b34acc68" << false;
        QTest::newRow("a restore's, with its process and host")
            << ".Home.restoring-4711@0a1b2c3d-b34acc68" << false;
        QTest::newRow("like a restore's, but not") << ".Home.restoring-later" << true;
    }

    void accountFoldersAreTheMailClients()
    {
        QFETCH(QString, name);
        QFETCH(bool, taken);
        QTemporaryDir store;
        QVERIFY(QDir(store.path()).mkdir(name));
        QCOMPARE(accountFolders(store.path()).contains(name), taken);
    }

    void targetsThatAreNoArchiveAreRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said");
        QTest::newRow("device") << "device"
                                << "is not a regular file";
        QTest::newRow("FIFO") << "fifo"
                              << "is not a regular file";
        QTest::newRow("link planted in a shared folder") << "planted"
                                                         << "is a symbolic link";
        QTest::newRow("dangling link planted in a shared folder") << "dangling"
                                                                  << "is a symbolic link";
        const QString ownFile = u"is a file of the mail profile being backed up"_s;
        QTest::newRow("the profile's user.reg") << "user.reg" << ownFile;
        QTest::newRow("a link to the store's database") << "store" << ownFile;
    }

    // The unattended run and brevnor-cli alike: nothing is written there or through it.
    void targetsThatAreNoArchiveAreRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, said);
        LoadedProfile profile;
        QVERIFY(profile.load());
        // A folder like /tmp, where everybody may make files but only remove their own.
        const QString shared = profile.dir.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkdir(shared));
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
        QString target = shared + QStringLiteral("/backup.wlm");
        QString profileFile;
        if (kind == QLatin1String("user.reg")) {
            target = profile.prefix() + QStringLiteral("/user.reg");
            profileFile = target;
        } else if (kind == QLatin1String("store")) {
            QDirIterator files(profile.prefix(), {QStringLiteral("Mail.MSMessageStore")},
                               QDir::Files, QDirIterator::Subdirectories);
            QVERIFY(files.hasNext());
            profileFile = files.next();
            target = profile.dir.filePath(QStringLiteral("mail.wlm"));
            QVERIFY(QFile::link(profileFile, target));
        }
        const QByteArray targetName = QFile::encodeName(target);
        const QString victim = profile.dir.filePath(QStringLiteral("victim"));
        const QByteArray profileBytes =
            profileFile.isEmpty() ? QByteArray() : readFile(profileFile);
        if (kind == QLatin1String("device")) {
            if (::mknod(targetName.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
                QSKIP("A device file cannot be made here.");
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(targetName.constData(), 0666), 0);
        } else if (profileFile.isEmpty()) {
            if (kind == QLatin1String("planted"))
                QVERIFY(writeFile(victim, "the victim's file"));
            QVERIFY(QFile::link(victim, target));
            // Another user's link: the tests may make one only when they run as root.
            constexpr uid_t nobody = 65534;
            if (::geteuid() == nobody || ::lchown(targetName.constData(), nobody, nobody) != 0)
                QSKIP("A link of another user's cannot be made here.");
        }
        struct stat before {};
        QCOMPARE(::lstat(targetName.constData(), &before), 0);

        const QStringList commands[] = {
            {binDir() + QStringLiteral("/brevnor"),
             QStringLiteral("sf=annaxm=0000010000ps=bf=") + target},
            {binDir() + QStringLiteral("/brevnor-cli"), QStringLiteral("backup"), target,
             QStringLiteral("--items=5")},
        };
        for (const QStringList &command : commands) {
            QTemporaryDir tmp;
            const ProgramRun run = runLimited(command, profile.prefix(), tmp.path(), 0);
            QVERIFY2(run.exitCode == 2, run.err.constData());
            QVERIFY2(run.err.contains(targetName + ' ' + said.toUtf8()), run.err.constData());
            struct stat after {};
            QCOMPARE(::lstat(targetName.constData(), &after), 0);
            QCOMPARE(after.st_mode, before.st_mode);
            QCOMPARE(after.st_ino, before.st_ino);
            if (!profileFile.isEmpty())
                QCOMPARE(readFile(profileFile), profileBytes);
            if (kind == QLatin1String("planted"))
                QCOMPARE(readFile(victim), QByteArray("the victim's file"));
            else
                QVERIFY(!QFileInfo::exists(victim));
        }
    }

    // What a killed backup left beside its archive goes with the next run in that folder,
    // whichever archive that run writes; what a live run is making stays.
    void leftoversOfGoneRunsGoWithTheNextRun()
    {
        LoadedProfile profile;
        QVERIFY(profile.load());
        const QString folder = profile.dir.filePath(QStringLiteral("archives"));
        QVERIFY(QDir().mkdir(folder));
        const QString gone = folder + QStringLiteral("/daily.wlm.quillory-999999-0badcafe");
        const QString live = folder + QStringLiteral("/weekly.wlm.quillory-%1-0badcafe")
                                          .arg(QCoreApplication::applicationPid());
        // Named with this machine, as runs now name theirs; another machine's process ids say
        // nothing here, so its file stays.
        const QString goneHere = folder + QStringLiteral("/hourly.wlm.quillory-999999@") +
                                 runOwnedSuffix().section(u'@', 1);
        const QString elsewhere =
            folder + QStringLiteral("/daily.wlm.quillory-999999@0000beef-0badcafe");
        QVERIFY(writeFile(gone, noise(1000)) && writeFile(live, noise(1000)) &&
                writeFile(goneHere, noise(1000)) && writeFile(elsewhere, noise(1000)));
        QTemporaryDir tmp;
        const ProgramRun run =
            runLimited({binDir() + QStringLiteral("/brevnor-cli"), QStringLiteral("backup"),
                        folder + QStringLiteral("/other.wlm"), QStringLiteral("--items=5")},
                       profile.prefix(), tmp.path(), 0);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY(!QFileInfo::exists(gone) && !QFileInfo::exists(goneHere));
        QVERIFY(QFileInfo::exists(live) && QFileInfo::exists(elsewhere));
    }

    void anOverlongTargetIsSaidToBe_data()
    {
        QTest::addColumn<int>("folders");
        QTest::addColumn<int>("nameLength");
        QTest::newRow("path of 4096 bytes and more") << 20 << 200;
        QTest::newRow("name of 256 bytes") << 0 << 256;
    }

    void anOverlongTargetIsSaidToBe()
    {
        QFETCH(int, folders);
        QFETCH(int, nameLength);
        LoadedProfile profile;
        QVERIFY(profile.load());
        QString folder = profile.dir.path();
        for (int level = 0; level < folders; ++level)
            folder += QLatin1Char('/') + QString(200, QLatin1Char('f'));
        QVERIFY(QDir().mkpath(folder));
        QTemporaryDir tmp;
        const ProgramRun run =
            runLimited({binDir() + QStringLiteral("/brevnor-cli"), QStringLiteral("backup"),
                        folder + QLatin1Char('/') + QString(nameLength - 4, QLatin1Char('n')) +
                            QStringLiteral(".wlm"),
                        QStringLiteral("--items=5")},
                       profile.prefix(), tmp.path(), 0);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains("is too long"), run.err.constData());
    }

    // A folder link another user planted in a shared folder (like /tmp) is not followed, and an
    // archive written in another user's folder is the user's alone to read.
    void sharedFoldersOfAnotherUser()
    {
        constexpr uid_t nobody = 65534;
        if (::geteuid() != 0)
            QSKIP("Files of another user's can be made here only as root.");
        LoadedProfile profile;
        QVERIFY(profile.load());
        const QString shared = profile.dir.filePath(QStringLiteral("shared"));
        const QString victim = profile.dir.filePath(QStringLiteral("victim"));
        QVERIFY(QDir().mkdir(shared) && QDir().mkdir(victim));
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
        const QString link = shared + QStringLiteral("/backups");
        QVERIFY(QFile::link(victim, link));
        QCOMPARE(::lchown(QFile::encodeName(link).constData(), nobody, nobody), 0);
        const auto backUp = [&](const QString &target) {
            QTemporaryDir tmp;
            return runLimited({binDir() + QStringLiteral("/brevnor-cli"), QStringLiteral("backup"),
                               target, QStringLiteral("--items=5")},
                              profile.prefix(), tmp.path(), 0);
        };
        const ProgramRun planted = backUp(link + QStringLiteral("/mail.wlm"));
        QCOMPARE(planted.exitCode, 2);
        QVERIFY2(planted.err.contains("is a symbolic link that another user put in the shared"),
                 planted.err.constData());
        QVERIFY(QDir(victim).isEmpty());

        const QString theirs = profile.dir.filePath(QStringLiteral("theirs"));
        QVERIFY(QDir().mkdir(theirs));
        QCOMPARE(::chmod(QFile::encodeName(theirs).constData(), 0777), 0);
        QCOMPARE(::chown(QFile::encodeName(theirs).constData(), nobody, nobody), 0);
        const QString archive = theirs + QStringLiteral("/mail.wlm");
        QCOMPARE(backUp(archive).exitCode, 0);
        struct stat written {};
        QCOMPARE(::stat(QFile::encodeName(archive).constData(), &written), 0);
        QCOMPARE(written.st_mode & 0777, mode_t(0600));
    }

    // An archive kept in an account folder: the next backup holds neither it nor the file it
    // writes the new one in.
    void theArchiveBeingWrittenIsLeftOut()
    {
        LoadedProfile profile;
        QVERIFY(profile.load());
        const QString work = folderOf(profile, QStringLiteral("Work"));
        const QString target = work + QStringLiteral("/mail.wlm");
        QVERIFY(writeFile(target, "the last backup"));
        QVERIFY(writeFile(work + QStringLiteral("/mail.wlm.quillory-1-0badcafe"),
                          "a running backup's archive"));
        QTemporaryDir tmp;
        const ProgramRun run =
            runLimited({binDir() + QStringLiteral("/brevnor-cli"), QStringLiteral("backup"), target,
                        QStringLiteral("--items=0")},
                       profile.prefix(), tmp.path(), 0);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const QString nested = tmp.filePath(QStringLiteral("Work.zip"));
        QVERIFY(writeFile(nested, archiveContents(target).value(QStringLiteral("Work.zip"))));
        const QStringList entries = archiveContents(nested).keys();
        QVERIFY(entries.contains(QStringLiteral("Inbox/")));
        for (const QString &entry : entries)
            QVERIFY2(!entry.startsWith(QLatin1String("mail.wlm")), qPrintable(entry));
    }

    void settingsARestoreCannotTakeFailOnlyTheirItem()
    {
        LoadedProfile profile;
        QVERIFY(profile.load());
        modReg &reg = profile.context->reg();
        QString key = MailKeys::signatures;
        std::uint32_t root = 0;
        reg.SplitKeyPath(key, root);
        reg.CreateKey(MailKeys::signatures);
        // Written as hex pairs, the value alone exports to three times its size.
        QVERIFY(reg.store().setValue(RegistryRoot::CurrentUser, key,
                                     {u"Huge"_s, RegType::Binary, QByteArray(400 * 1024, 'x')}));
        QVERIFY(reg.store().save());

        const BackupOutcome outcome = backUp(profile, itemsOf({ItemSignatures, ItemMailRules}));
        QVERIFY2(outcome.archive.ok(), qPrintable(outcome.archive.message()));
        QCOMPARE(outcome.stored, itemsOf({ItemMailRules}));
        QCOMPARE(outcome.problems.size(), 1);
        QVERIFY2(outcome.problems.first().contains(u"more than a restore takes"_s),
                 qPrintable(outcome.problems.first()));
    }

    void namesMatchInAnyCase()
    {
        LoadedProfile profile;
        QVERIFY(profile.load());
        QDir store(profile.context->store().StoreFolder);
        QVERIFY(store.rename(QStringLiteral("Contacts"), QStringLiteral("contacts")));
        QVERIFY(
            store.rename(QStringLiteral("contacts/Default"), QStringLiteral("contacts/DEFAULT")));
        QVERIFY(store.rename(QStringLiteral("WindowsMail.MSMessageStore"),
                             QStringLiteral("windowsmail.msmessagestore")));
        QVERIFY(itemAvailability(profile.context->reg(), profile.context->store())[ItemContacts]);

        const ItemFlags items = itemsOf({ItemMailAccounts, ItemContacts});
        const BackupOutcome outcome = backUp(profile, items, true);
        QVERIFY2(outcome.allStored(items), qPrintable(outcome.problems.join(u'\n')));
        const QMap<QString, QByteArray> entries = archiveContents(profile.archive());
        QCOMPARE(entries.value(QStringLiteral("WindowsMail.MSMessageStore")),
                 readFile(store.filePath(QStringLiteral("windowsmail.msmessagestore"))));
        QVERIFY(!entries.contains(QStringLiteral("contacts.zip")));
        const QStringList lines = infoLines(profile.archive());
        QVERIFY(lines.value(5).startsWith(QLatin1String("BackupContacts=")));
    }
};

QUILLORY_TEST(BackupFailuresTest)
#include "tst_backupfailures.moc"
