#include "backup/nestedarchives.h"

#include "platform/sanitizers.h"
#include "platform/trappedwork.h"
#include "platform/zip/entrymaker.h"
#include "platform/zip/ziparchive.h"

#include <QFile>
#include <QThread>

#include <algorithm>
#include <malloc.h>

namespace quillory {

class NestedArchiveMaker : public EntryMaker {
public:
    NestedArchiveMaker(std::shared_ptr<NestedArchives> archives, qsizetype index, quint64 sizeBound)
        : m_archives(std::move(archives)), m_index(index), m_sizeBound(sizeBound)
    {
    }

    Result make() override
    {
        Result built = m_archives->waitFor(m_index);
        m_failure = built ? QString() : built.message();
        return built;
    }
    QString failure() const override { return m_failure; }
    void done() override { m_archives->release(m_index); }
    quint64 sizeBound() const override { return m_sizeBound; }

private:
    std::shared_ptr<NestedArchives> m_archives;
    qsizetype m_index;
    quint64 m_sizeBound;
    QString m_failure;
};

namespace {

Result buildOne(const QString &source, const QString &target, const QString &leftOut,
                const ZipArchive::ProgressCallback &progress, std::function<bool()> stop)
{
    ZipArchive Zip2;
    if (Result created = Zip2.CreateArchive(target); !created)
        return created;
    Zip2.leaveOut(leftOut);
    Zip2.setDurable(false);
    Zip2.setStopWhen(std::move(stop));
    if (Result added = Zip2.AddFiles(source + QStringLiteral("/*.*"), true); !added)
        return added;
    Result written = Zip2.WriteArchive(progress);
    Zip2.CloseArchive();
    return written;
}

} // namespace

double NestedProgress::share() const
{
    const quint64 total = m_total;
    return total == 0 ? 1.0 : double(std::min<quint64>(m_done, total)) / double(total);
}

NestedArchives::NestedArchives(const QString &storeFolder, const QStringList &folders,
                               const QString &targetFolder, const QString &leftOut,
                               std::shared_ptr<NestedProgress> progress)
    : m_store(storeFolder), m_folders(folders), m_target(targetFolder), m_leftOut(leftOut),
      m_progress(std::move(progress)), m_results(folders.size())
{
    m_pool.setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 1, mostAhead));
}

std::shared_ptr<NestedArchives> NestedArchives::start(const QString &storeFolder,
                                                      const QStringList &folders,
                                                      const QString &targetFolder,
                                                      const QString &leftOut,
                                                      std::shared_ptr<NestedProgress> progress)
{
    return std::shared_ptr<NestedArchives>(
        new NestedArchives(storeFolder, folders, targetFolder, leftOut, std::move(progress)));
}

void NestedArchives::folderChecked(const TreeSize &size)
{
    // The run shows the builds' share only once every folder is read through, so the total is
    // whole by then.
    if (m_progress)
        m_progress->m_total += size.bytes;
    const std::lock_guard lock(m_mutex);
    m_sizes.append(size);
    startBuilds();
}

NestedArchives::~NestedArchives()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_pool.clear();
    m_pool.waitForDone();
    for (qsizetype index = m_taken; index < m_started; ++index)
        QFile::remove(path(index));
}

QString NestedArchives::path(qsizetype index) const
{
    return m_target.filePath(m_folders[index] + QStringLiteral(".zip"));
}

std::shared_ptr<EntryMaker> NestedArchives::maker(qsizetype index, quint64 sizeBound)
{
    return std::make_shared<NestedArchiveMaker>(shared_from_this(), index, sizeBound);
}

Result NestedArchives::waitFor(qsizetype index)
{
    std::unique_lock lock(m_mutex);
    // The backup archive reads its entries in order: those before are done with, taken in or not.
    for (qsizetype earlier = m_taken; earlier < index; ++earlier)
        QFile::remove(path(earlier));
    m_taken = std::max(m_taken, index);
    startBuilds();
    const auto isBuilt = [&] { return m_results[index].has_value(); };
    while (!m_built.wait_for(lock, NestedProgress::waitingTick, isBuilt))
        if (m_progress && m_progress->m_waiting) {
            lock.unlock();
            m_progress->m_waiting();
            lock.lock();
        }
    return *m_results[index];
}

void NestedArchives::release(qsizetype index)
{
    const std::lock_guard lock(m_mutex);
    QFile::remove(path(index));
    m_taken = std::max(m_taken, index + 1);
    startBuilds();
}

// The archive being copied and `mostAhead` after it: that many at most lie staged at once. In
// list order, so that the one the backup archive waits for is never held back by later ones.
void NestedArchives::startBuilds()
{
    while (!m_stopping && m_started < m_sizes.size() && m_started <= m_taken + mostAhead &&
           (m_building == 0 || m_filesBuilding + m_sizes[m_started].files <= mostFilesAtOnce)) {
        const qsizetype index = m_started++;
        ++m_building;
        m_filesBuilding += m_sizes[index].files;
        m_pool.start([this, index] { build(index); });
    }
}

void NestedArchives::build(qsizetype index)
{
    quint64 bytes = 0;
    quint64 files = 0;
    {
        // The list grows under the lock as folders are read through, and may move as it grows.
        const std::lock_guard lock(m_mutex);
        bytes = m_sizes[index].bytes;
        files = m_sizes[index].files;
    }
    quint64 counted = 0;
    const auto count = [this, bytes, &counted](int percent) {
        const quint64 done = bytes * quint64(std::clamp(percent, 0, 100)) / 100;
        if (m_progress && done > counted)
            m_progress->m_done += done - counted;
        counted = std::max(counted, done);
    };
    // Once the archives are given up on (an account cannot be read, the write failed), a build
    // under way stops rather than keeping the run waiting for an archive nobody takes.
    Result built = trapped([&] {
        return buildOne(m_store.filePath(m_folders[index]), path(index), m_leftOut, count,
                        [this] { return m_stopping.load(); });
    });
    // Failed or not, nothing of it is left to build.
    count(100);
    // The archive's entries leave many small blocks free in this thread's own malloc arena, where
    // a build on another thread cannot use them: given back, peaks do not add up.
    if constexpr (!builtWithSanitizer)
        ::malloc_trim(0);
    const std::lock_guard lock(m_mutex);
    m_results[index] = std::move(built);
    --m_building;
    m_filesBuilding -= files;
    startBuilds();
    m_built.notify_all();
}

} // namespace quillory
