#include "restore/accountfolders.h"

#include "platform/foldertree.h"
#include "platform/trappedwork.h"
#include "platform/workerthreads.h"
#include "platform/zip/ziparchive.h"
#include "restore/itementries.h"
#include "restore/openedbackup.h"
#include "restore/storefolder.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace quillory {

namespace {

// How often the share of work done is told while a large folder is being extracted.
constexpr std::chrono::milliseconds progressInterval(250);
// What removing an old copy counts for, against the bytes of its folder's extraction.
constexpr double removalWeight = 0.25;

// The archive on a worker's own libzip handle, which no other thread touches.
Result openAgain(ZipArchive &archive, const OpenedBackup &state)
{
    archive.SetPassword(state.password);
    if (Result opened = archive.OpenArchive(state.archivePath); !opened)
        return opened;
    // Looked at after opening: an archive replaced since the run checked it is not read.
    if (const std::optional<ArchiveStamp> now = archiveStamp(state.archivePath);
        !now || now != state.stamp)
        return Result::failure(QStringLiteral("The backup file %1 has changed since it was opened.")
                                   .arg(state.archivePath));
    return Result::success();
}

// What the workers share with the thread that waits for them.
class Progress {
public:
    explicit Progress(quint64 total) : m_total(std::max<quint64>(total, 1)) {}

    void add(quint64 bytes) { m_done += bytes; }
    // Counts a folder as done (extracted, or its old copy removed); the waiting thread tells of
    // each.
    void folderDone()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_marks.push_back(m_done.load());
        }
        m_changed.notify_one();
    }
    // Tells `progress` of every folder done since the last call, or of the bytes done when
    // none was for a while; false once `folders` are done.
    bool waitAndTell(qsizetype folders, const WorkShare &progress)
    {
        std::vector<quint64> marks;
        qsizetype done = 0;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait_for(lock, progressInterval, [&] { return m_told < m_marks.size(); });
            marks.assign(m_marks.begin() + qsizetype(m_told), m_marks.end());
            m_told = m_marks.size();
            done = qsizetype(m_marks.size());
        }
        // Told outside the lock, so that the workers never wait for the observer.
        if (marks.empty())
            marks.push_back(m_done.load());
        for (const quint64 mark : marks)
            tell(mark, progress);
        return done < folders;
    }

private:
    void tell(quint64 done, const WorkShare &progress)
    {
        if (progress && done > m_last)
            progress(double(std::min(done, m_total)) / double(m_total));
        m_last = std::max(m_last, done);
    }

    const quint64 m_total;
    std::atomic<quint64> m_done{0};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<quint64> m_marks;
    size_t m_told = 0;
    quint64 m_last = 0;
};

} // namespace

AccountFoldersOutcome restoreAccountFolders(const OpenedBackup &state,
                                            const QList<AccountFolder> &folders,
                                            const QString &scratchFolder, const WorkShare &progress)
{
    AccountFoldersOutcome outcome;
    if (folders.isEmpty())
        return outcome;
    const qsizetype count = folders.size();
    const auto slots = size_t(count);
    const auto removalBytes = [](const AccountFolder &folder) {
        return quint64(double(folder.storedSize) * removalWeight);
    };
    quint64 total = 0;
    for (const AccountFolder &folder : folders)
        total += folder.storedSize + removalBytes(folder);
    Progress shared(total);

    std::vector<Result> results(slots);
    std::vector<QString> oldCopies(slots);
    std::vector<char> removed(slots, 1);
    // An old copy goes as soon as its folder is in, while the next folders are extracted: removing
    // waits mostly on the disk, extracting mostly on the processor. Each folder counts twice as
    // done: once extracted, once its old copy is gone (or there was none).
    // Threads that cannot be started leave the work to the thread that asked: slower, never
    // stuck.
    WorkerThreads removers;
    const auto removeOldCopy = [&](qsizetype at) {
        removed[size_t(at)] = trapped([&] {
                                  return removeFolderTree(oldCopies[size_t(at)])
                                             ? Result::success()
                                             : Result::failure(QString());
                              }).ok();
        shared.add(removalBytes(folders[at]));
        shared.folderDone();
    };
    std::atomic<qsizetype> next{0};
    WorkerThreads workers;
    const auto work = [&] {
        ZipArchive archive;
        const Result opened = trapped([&] { return openAgain(archive, state); });
        for (qsizetype at = next++; at < count; at = next++) {
            const AccountFolder &folder = folders[at];
            quint64 counted = 0;
            QString oldCopy;
            const Result replaced = !opened ? opened : trapped([&] {
                const Expected<QString> old = replaceFolderFromNested(
                    archive, folder.entryName, folder.target, scratchFolder, [&](quint64 bytes) {
                        counted += bytes;
                        shared.add(bytes);
                    });
                if (old)
                    oldCopy = *old;
                return old.result();
            });
            results[size_t(at)] = replaced;
            shared.add(folder.storedSize > counted ? folder.storedSize - counted : 0);
            shared.folderDone();
            if (replaced) {
                oldCopies[size_t(at)] = oldCopy;
                removers.startOrRun([&removeOldCopy, at] { removeOldCopy(at); });
            } else {
                shared.add(removalBytes(folder));
                shared.folderDone();
            }
        }
    };
    const int threads = int(std::min<qsizetype>(QThread::idealThreadCount(), count));
    int started = 0;
    while (started < threads && workers.start(work))
        ++started;
    if (started == 0)
        work();
    while (shared.waitAndTell(2 * count, progress)) {
    }
    workers.joinAll();
    removers.joinAll();

    for (qsizetype at = 0; at < count; ++at) {
        const QString account = folderOfArchive(folders[at].entryName);
        Result restored = results[size_t(at)];
        if (restored && !removed[size_t(at)])
            restored = Result::failure(
                QStringLiteral("%1 was restored, but its old copy in %2 could not be removed.")
                    .arg(folders[at].target, oldCopies[size_t(at)]));
        if (results[size_t(at)])
            outcome.changed = true;
        if (!restored)
            outcome.problems.append(QStringLiteral("The account \"%1\" was not restored: %2")
                                        .arg(account, restored.message()));
    }
    return outcome;
}

} // namespace quillory
