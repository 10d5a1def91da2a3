#include "backup/nestedarchives.h"

#include "platform/sanitizers.h"
#include "platform/trappedwork.h"
#include "platform/zip/archivestream.h"
#include "platform/zip/entrymaker.h"
#include "platform/zip/ziparchive.h"

#include <QFileInfo>

#include <algorithm>
#include <malloc.h>
#include <system_error>
#include <thread>

namespace quillory {

using zipdetail::ArchiveStream;

// Builds the nested archive on a thread of its own while the backup archive reads its bytes.
class NestedArchiveMaker : public EntryMaker {
public:
    NestedArchiveMaker(std::shared_ptr<NestedArchives> archives, qsizetype index, quint64 sizeBound)
        : m_archives(std::move(archives)), m_index(index), m_sizeBound(sizeBound)
    {
    }
    ~NestedArchiveMaker() override { done(); }

    Result make() override
    {
        done();
        const std::shared_ptr<NestedProgress> &progress = m_archives->m_progress;
        m_stream = std::make_unique<ArchiveStream>(
            m_archives->m_target, progress ? progress->m_waiting : std::function<void()>());
        // Called from libzip's reading of the entry: a thread that cannot be started is a
        // failure to report, never an exception to throw through libzip.
        try {
            m_builder = std::thread([this] { build(); });
        } catch (const std::system_error &error) {
            m_failure = QStringLiteral("Cannot start a worker thread: %1")
                            .arg(QString::fromLocal8Bit(error.what()));
            return Result::failure(m_failure);
        }
        return Result::success();
    }
    qint64 read(char *data, size_t length) override { return m_stream->read(data, length); }
    QString failure() const override
    {
        if (!m_failure.isEmpty())
            return m_failure;
        return m_stream ? m_stream->failure() : QString();
    }
    void done() override
    {
        if (!m_builder.joinable())
            return;
        // Read through or not, the builder has nothing more to hand over.
        m_stream->abandon();
        m_builder.join();
    }
    quint64 sizeBound() const override { return m_sizeBound; }

private:
    void build()
    {
        const NestedArchives &archives = *m_archives;
        const quint64 bytes = archives.m_sizes.value(m_index).bytes;
        NestedProgress *progress = archives.m_progress.get();
        quint64 counted = 0;
        const auto count = [progress, bytes, &counted](int percent) {
            const quint64 done = bytes * quint64(std::clamp(percent, 0, 100)) / 100;
            if (progress && done > counted)
                progress->m_done += done - counted;
            counted = std::max(counted, done);
        };
        // Once the backup archive gives up on it (its write failed or was stopped), the build
        // stops rather than making bytes nobody reads.
        const Result built = trapped([&] {
            ZipArchive Zip2;
            Zip2.CreateStream(archives.name(m_index));
            Zip2.leaveOut(archives.m_target);
            ArchiveStream *stream = m_stream.get();
            Zip2.setStopWhen([stream] { return stream->abandoned(); });
            if (Result added = Zip2.AddFiles(
                    archives.m_store.filePath(archives.m_folders[m_index]) + QStringLiteral("/*.*"),
                    true);
                !added)
                return added;
            return Zip2.WriteStream(*m_stream, count);
        });
        count(100);
        m_stream->finish(built);
        // The archive's entries leave many small blocks free in this thread's own malloc arena.
        if constexpr (!builtWithSanitizer)
            ::malloc_trim(0);
    }

    std::shared_ptr<NestedArchives> m_archives;
    qsizetype m_index;
    quint64 m_sizeBound;
    std::unique_ptr<ArchiveStream> m_stream;
    std::thread m_builder;
    QString m_failure;
};

namespace {

// The store's path is looked up again for every file of every account: without the links on
// the way (a prefix's drive letters are links), each look-up costs less.
QString canonicalOr(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? folder : canonical;
}

} // namespace

double NestedProgress::share() const
{
    const quint64 total = m_total;
    return total == 0 ? 1.0 : double(std::min<quint64>(m_done, total)) / double(total);
}

NestedArchives::NestedArchives(const QString &storeFolder, const QStringList &folders,
                               const QString &target, std::shared_ptr<NestedProgress> progress)
    : m_store(canonicalOr(storeFolder)), m_folders(folders), m_target(target),
      m_progress(std::move(progress))
{
}

std::shared_ptr<NestedArchives> NestedArchives::start(const QString &storeFolder,
                                                      const QStringList &folders,
                                                      const QString &target,
                                                      std::shared_ptr<NestedProgress> progress)
{
    return std::shared_ptr<NestedArchives>(
        new NestedArchives(storeFolder, folders, target, std::move(progress)));
}

QString NestedArchives::name(qsizetype index) const
{
    return m_folders[index] + QStringLiteral(".zip");
}

void NestedArchives::folderChecked(const TreeSize &size)
{
    // The run shows the builds' share only once every folder is read through, so the total is
    // whole by then.
    if (m_progress)
        m_progress->m_total += size.bytes;
    m_sizes.append(size);
}

std::shared_ptr<EntryMaker> NestedArchives::maker(qsizetype index, quint64 sizeBound)
{
    return std::make_shared<NestedArchiveMaker>(shared_from_this(), index, sizeBound);
}

} // namespace quillory
