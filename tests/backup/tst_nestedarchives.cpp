#include "backupfixture.h"

#include "app/itemtable.h"
#include "backup/backupcollectors.h"
#include "backup/backupinfo.h"
#include "platform/zip/ziparchive.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

// The sanitizers bring allocation functions of their own, which no test may replace.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define QUILLORY_SANITIZED
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define QUILLORY_SANITIZED
#endif
#endif

using namespace quillory;
using namespace quillory::test;

namespace {

// While this is set, allocations by `new` on a thread other than the test's own fail, as when
// memory runs out during the builds: all but the first few of each thread, which Qt makes as it
// starts the thread, before any task of ours runs on it.
std::atomic<bool> failWorkerAllocations = false;
#ifdef QUILLORY_SANITIZED
constexpr bool failingWorkerAllocations = false;
#else
constexpr bool failingWorkerAllocations = true;
const std::thread::id testThread = std::this_thread::get_id();
constexpr int threadStart = 8;
#endif

QString storeOf(const LoadedProfile &profile)
{
    return profile.context->store().StoreFolder;
}

// An account's nested archive as the accounts collector made it before it learned to make them
// while the backup archive is written: whole, on its own, before anything else.
QByteArray referenceNestedArchive(const QString &folder)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("reference.zip"));
    ZipArchive Zip2;
    if (!Zip2.CreateArchive(path) || !Zip2.AddFiles(folder + QStringLiteral("/*.*"), true) ||
        !Zip2.WriteArchive())
        return {};
    return readFile(path);
}

QStringList entryNamesInOrder(const QString &path)
{
    ZipArchive zip;
    return zip.OpenArchive(path) ? zip.entryNames() : QStringList();
}

// The entry names the list lines of an archive's information file give, in their order.
QStringList listedNames(const QString &archive)
{
    const QStringList lines = infoLines(archive);
    QStringList names;
    for (qsizetype line = 4; line + 1 < lines.size(); ++line)
        names += lines[line].section(QLatin1Char('='), 1).split(QLatin1Char(';'));
    return names;
}

qint64 bytesBelow(const QString &folder)
{
    qint64 bytes = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
    }
    return bytes;
}

// The most a folder held at once while it was watched, seen by summing its files again and again
// on a thread of its own.
class FolderPeak {
public:
    explicit FolderPeak(const QString &folder)
        : m_thread([this, folder] {
              while (!m_stop) {
                  m_peak = std::max(m_peak.load(), bytesBelow(folder));
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          })
    {
    }
    ~FolderPeak() { stop(); }
    qint64 stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_peak;
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_peak{0};
    std::thread m_thread;
};

// Points the temporary folder, where runs stage their files, elsewhere for as long as it lives.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const QString &path) : m_before(qgetenv("TMPDIR"))
    {
        qputenv("TMPDIR", QFile::encodeName(path));
    }
    ~TemporaryFolder() { qputenv("TMPDIR", m_before); }

private:
    QByteArray m_before;
};

} // namespace

class NestedArchivesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void backupArchiveUnchangedEntryForEntry_data()
    {
        QTest::addColumn<bool>("unattended");
        QTest::newRow("window") << false;
        QTest::newRow("unattended, with the store's database") << true;
    }

    void backupArchiveUnchangedEntryForEntry()
    {
        QFETCH(bool, unattended);
        LoadedProfile profile;
        QVERIFY(profile.load({QStringLiteral("--accounts"), QStringLiteral("5")}));
        const BackupOutcome outcome =
            backUp(profile, itemsOf({ItemMailAccounts, ItemMailRules, ItemContacts}), unattended);
        QVERIFY2(outcome.archive.ok(), qPrintable(outcome.archive.message()));

        QStringList expected = listedNames(profile.archive());
        if (!unattended)
            expected.removeAll(storeDatabaseName);
        expected.append(backupInfoFileName);
        QCOMPARE(entryNamesInOrder(profile.archive()), expected);

        const QStringList folders = accountFolders(storeOf(profile));
        QCOMPARE(folders.size(), 5);
        const QMap<QString, QByteArray> contents = archiveContents(profile.archive());
        for (const QString &folder : folders)
            QCOMPARE(contents.value(folder + QStringLiteral(".zip")),
                     referenceNestedArchive(QDir(storeOf(profile)).filePath(folder)));
    }

    // Staged all at once, eight accounts would take eight times the room.
    void stagingHoldsOnlyAFewNestedArchivesAtOnce()
    {
        LoadedProfile profile;
        QTemporaryDir temp;
        const TemporaryFolder staged(temp.path());
        QVERIFY(profile.load({QStringLiteral("--accounts"), QStringLiteral("8"),
                              QStringLiteral("--messages"), QStringLiteral("40"),
                              QStringLiteral("--attachments"), QStringLiteral("0.5")}));
        FolderPeak peak(temp.path());
        const BackupOutcome outcome = backUp(profile, itemsOf({ItemMailAccounts}));
        const qint64 seen = peak.stop();
        QVERIFY2(outcome.archive.ok(), qPrintable(outcome.archive.message()));

        qint64 largest = 0;
        const QMap<QString, QByteArray> contents = archiveContents(profile.archive());
        for (auto entry = contents.begin(); entry != contents.end(); ++entry)
            if (entry.key().endsWith(QLatin1String(".zip")))
                largest = std::max(largest, qint64(entry.value().size()));
        QVERIFY(largest > 0);
        QVERIFY(seen > 0);
        const qint64 otherStagedFiles = 64 * 1024;
        QVERIFY2(seen <= 3 * largest + otherStagedFiles,
                 qPrintable(QStringLiteral("%1 bytes staged at once, the largest nested archive "
                                           "holds %2")
                                .arg(seen)
                                .arg(largest)));
        QVERIFY(QDir(temp.path()).isEmpty());
    }

    void anAccountThatCannotBeReadFailsOnlyItsItem()
    {
        LoadedProfile profile;
        QTemporaryDir temp;
        const TemporaryFolder staged(temp.path());
        QVERIFY(profile.load({QStringLiteral("--accounts"), QStringLiteral("4")}));
        const QStringList folders = accountFolders(storeOf(profile));
        const QString bad =
            QDir(storeOf(profile)).filePath(folders.last() + QStringLiteral("/bad.eml"));
        // Every read of it fails, even as root.
        QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), bad));

        const BackupOutcome outcome = backUp(profile, itemsOf({ItemMailAccounts, ItemMailRules}));
        QVERIFY2(outcome.archive.ok(), qPrintable(outcome.archive.message()));
        QCOMPARE(outcome.stored, itemsOf({ItemMailRules}));
        QCOMPARE(outcome.problems.size(), 1);
        QVERIFY2(outcome.problems.first().contains(bad), qPrintable(outcome.problems.first()));
        const QStringList names = entryNamesInOrder(profile.archive());
        QCOMPARE(names.filter(QStringLiteral(".zip")), QStringList());
        QCOMPARE(names.size(), 2);
        QVERIFY(QDir(temp.path()).isEmpty());
    }

    // A build runs out of memory while the archive takes the builds in: the run fails with that
    // reason, as on a full disk, and keeps the old archive, instead of the program ending.
    void aBuildOutOfMemoryFailsTheRun()
    {
        if (!failingWorkerAllocations)
            QSKIP("The sanitizers own the allocation functions.");
        LoadedProfile profile;
        QTemporaryDir temp;
        const TemporaryFolder staged(temp.path());
        QVERIFY(profile.load({QStringLiteral("--accounts"), QStringLiteral("2")}));
        QVERIFY(writeFile(profile.archive(), "the last good backup"));

        failWorkerAllocations = true;
        const BackupOutcome outcome = backUp(profile, itemsOf({ItemMailAccounts, ItemMailRules}));
        failWorkerAllocations = false;
        QVERIFY(!outcome.archive.ok());
        QVERIFY2(outcome.archive.message().contains(QStringLiteral("not enough memory")),
                 qPrintable(outcome.archive.message()));
        QCOMPARE(readFile(profile.archive()), QByteArray("the last good backup"));
        QVERIFY(QDir(temp.path()).isEmpty());
    }
};

#ifndef QUILLORY_SANITIZED
void *operator new(std::size_t size)
{
    static thread_local int made = 0;
    if (failWorkerAllocations && std::this_thread::get_id() != testThread && ++made > threadStart)
        throw std::bad_alloc();
    if (void *memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void *memory) noexcept
{
    std::free(memory);
}

void operator delete(void *memory, std::size_t) noexcept
{
    std::free(memory);
}
#endif

QUILLORY_TEST(NestedArchivesTest)
#include "tst_nestedarchives.moc"
