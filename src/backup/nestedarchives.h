#pragma once

#include "backup/storefiles.h"
#include "platform/result.h"

#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>

namespace quillory {

class EntryMaker;

// How much of the nested archives is built, in bytes of their folders: the builds count on their
// threads, the run reads it. The archive that waits for a build's bytes calls `waiting` on its own
// thread every quarter of a second meanwhile, so that the run can show the builds going on.
class NestedProgress {
public:
    explicit NestedProgress(std::function<void()> waiting = {}) : m_waiting(std::move(waiting)) {}
    // 0 to 1; 1 when there is nothing to build.
    double share() const;
    // The bytes of the folders built so far, and of all folders read through.
    quint64 done() const { return std::min<quint64>(m_done, m_total); }
    quint64 total() const { return m_total; }

private:
    friend class NestedArchives;
    friend class NestedArchiveMaker;
    std::atomic<quint64> m_total{0};
    std::atomic<quint64> m_done{0};
    const std::function<void()> m_waiting;
};

// The nested archives of account folders, one per folder of `folders` (names of subfolders of
// `storeFolder`), each named after its folder with ".zip" appended. Each is built as the backup
// archive takes it in, its bytes handed over as they are made: nothing of it is staged in the
// temporary folder, whatever the size of the account. What must wait for the writer to finish an
// entry beyond a bounded amount waits in an unnamed file beside the backup archive `target`.
class NestedArchives : public std::enable_shared_from_this<NestedArchives> {
public:
    // Builds nothing until the backup archive reads it. The file `target` (the backup archive
    // being written) is kept out of every nested archive.
    static std::shared_ptr<NestedArchives> start(const QString &storeFolder,
                                                 const QStringList &folders, const QString &target,
                                                 std::shared_ptr<NestedProgress> progress = {});
    NestedArchives(const NestedArchives &) = delete;
    NestedArchives &operator=(const NestedArchives &) = delete;

    // The entry name of `folders[index]`'s archive.
    QString name(qsizetype index) const;
    // The next folder in list order has been read through and holds `size`.
    void folderChecked(const TreeSize &size);
    // Makes the archive of `folders[index]` for the backup archive; `sizeBound` is the most it
    // can hold.
    std::shared_ptr<EntryMaker> maker(qsizetype index, quint64 sizeBound);

private:
    friend class NestedArchiveMaker;

    NestedArchives(const QString &storeFolder, const QStringList &folders, const QString &target,
                   std::shared_ptr<NestedProgress> progress);

    const QDir m_store;
    const QStringList m_folders;
    QList<TreeSize> m_sizes;
    const QString m_target;
    const std::shared_ptr<NestedProgress> m_progress;
};

} // namespace quillory
