#pragma once

#include "backup/storefiles.h"
#include "platform/result.h"

#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace quillory {

class EntryMaker;

// How much of the nested archives is built, in bytes of their folders: the builds count on their
// threads, the run reads it. The archive that waits for a build calls `waiting` on its own thread
// every `waitingTick` meanwhile, so that the run can show the builds going on.
class NestedProgress {
public:
    static constexpr std::chrono::milliseconds waitingTick{250};

    explicit NestedProgress(std::function<void()> waiting = {}) : m_waiting(std::move(waiting)) {}
    // 0 to 1; 1 when there is nothing to build.
    double share() const;
    // The bytes of the folders built so far, and of all folders read through.
    quint64 done() const { return std::min<quint64>(m_done, m_total); }
    quint64 total() const { return m_total; }

private:
    friend class NestedArchives;
    std::atomic<quint64> m_total{0};
    std::atomic<quint64> m_done{0};
    const std::function<void()> m_waiting;
};

// The nested archives of account folders, one per folder of `folders` (names of subfolders of
// `storeFolder`), each named after its folder with ".zip" appended and staged in `targetFolder`.
// Each is built just ahead of the backup archive that takes it in, and removed once taken in:
// building overlaps the write, and the staging folder never holds more than the archive being
// copied and the few built ahead of it, whatever the size of the store. They live only for the
// run, so they are not flushed to disk.
class NestedArchives : public std::enable_shared_from_this<NestedArchives> {
public:
    // Archives built ahead of the one being copied: they take the other cores, and each takes its
    // room in the staging folder.
    static constexpr int mostAhead = 2;
    // An archive being built holds an entry for each of its files in memory, about 1 KB each:
    // archives whose files together pass this many are built one after the other.
    static constexpr quint64 mostFilesAtOnce = 60000;

    // Builds nothing until folders are said to be read through (`folderChecked`). The file
    // `leftOut` (the backup archive being written) is kept out of every nested archive.
    static std::shared_ptr<NestedArchives>
    start(const QString &storeFolder, const QStringList &folders, const QString &targetFolder,
          const QString &leftOut = {}, std::shared_ptr<NestedProgress> progress = {});
    // Builds not yet begun are dropped, running ones stopped and awaited, and what is staged is
    // removed.
    ~NestedArchives();
    NestedArchives(const NestedArchives &) = delete;
    NestedArchives &operator=(const NestedArchives &) = delete;

    QString path(qsizetype index) const;
    // The next folder in list order has been read through and holds `size`: its archive may be
    // built now, while later folders are still being read.
    void folderChecked(const TreeSize &size);
    // Makes the archive of `folders[index]` for the backup archive; `sizeBound` is the most it
    // can hold.
    std::shared_ptr<EntryMaker> maker(qsizetype index, quint64 sizeBound);

private:
    friend class NestedArchiveMaker;

    NestedArchives(const QString &storeFolder, const QStringList &folders,
                   const QString &targetFolder, const QString &leftOut,
                   std::shared_ptr<NestedProgress> progress);
    // Waits until the archive is built.
    Result waitFor(qsizetype index);
    // The backup archive has taken it in.
    void release(qsizetype index);
    void startBuilds();
    void build(qsizetype index);

    const QDir m_store;
    const QStringList m_folders;
    // Of the folders read through so far.
    QList<TreeSize> m_sizes;
    const QDir m_target;
    const QString m_leftOut;
    const std::shared_ptr<NestedProgress> m_progress;
    QThreadPool m_pool;
    std::mutex m_mutex;
    std::condition_variable m_built;
    // Every archive before it has been taken in (or given up on) by the backup archive.
    qsizetype m_taken = 0;
    qsizetype m_started = 0;
    int m_building = 0;
    quint64 m_filesBuilding = 0;
    QList<std::optional<Result>> m_results;
    std::atomic<bool> m_stopping = false;
};

} // namespace quillory
