#include "platform/disc/isowriting.h"

#include "platform/disc/burnheaders.h"
#include "platform/filereplacement.h"

#include <fcntl.h>

#include <chrono>
#include <thread>
#include <utility>

namespace quillory {

namespace {

constexpr int chunkBlocks = 512;

// The commit syncs the whole image to disk before the rename; left to then, that sync waits for
// every byte at once, a sixth of the save's time for a large image. Starting the disk's writeback
// of each stretch as soon as it is written lets it run alongside the image's making, and the final
// sync finds little left to do.
constexpr qint64 writebackBytes = 16 * 1024 * 1024;

// The image's generator thread outlives a cancel for a moment; the image must not be touched
// again, nor the source freed, before it ended.
class SourceHandle {
public:
    SourceHandle(IsoImage *image, burn::burn_source *source) : m_image(image), m_source(source) {}
    SourceHandle(SourceHandle &&other) noexcept
        : m_image(other.m_image), m_source(std::exchange(other.m_source, nullptr))
    {
    }
    SourceHandle(const SourceHandle &) = delete;
    SourceHandle &operator=(const SourceHandle &) = delete;
    ~SourceHandle()
    {
        if (!m_source)
            return;
        while (iso_image_generator_is_running(m_image) == 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        burn_source_free(m_source);
    }
    burn::burn_source *get() const { return m_source; }

private:
    IsoImage *m_image;
    burn::burn_source *m_source;
};

Expected<SourceHandle> createSource(IsoImage *image, bool joliet, bool willCancel)
{
    iso_write_opts *options = newIsoWriteOptions(joliet);
    if (!options)
        return Result::failure(QStringLiteral("The image options could not be made."));
    iso_write_opts_set_will_cancel(options, willCancel ? 1 : 0);
    burn::burn_source *source = nullptr;
    const int made =
        iso_image_create_burn_source(image, options, reinterpret_cast<::burn_source **>(&source));
    iso_write_opts_free(options);
    if (made < 0 || !source)
        return Result::failure(QStringLiteral("The image could not be prepared: %1")
                                   .arg(QString::fromUtf8(iso_error_to_msg(made))));
    return SourceHandle(image, source);
}

} // namespace

iso_write_opts *newIsoWriteOptions(bool joliet)
{
    iso_write_opts *options = nullptr;
    if (iso_write_opts_new(&options, 0) < 0)
        return nullptr;
    iso_write_opts_set_iso_level(options, 3);
    iso_write_opts_set_rockridge(options, 1);
    iso_write_opts_set_joliet(options, joliet ? 1 : 0);
    // The same image as a session written to a drive (libisoburn's defaults plus ours): every
    // reader finds a deep tree where it lies, the label as typed and each file's own time.
    iso_write_opts_set_allow_deep_paths(options, 1);
    iso_write_opts_set_relaxed_vol_atts(options, 1);
    iso_write_opts_set_joliet_long_names(options, 1);
    iso_write_opts_set_dir_rec_mtime(options, 1 | 2);
    // Rock Ridge as most images carry it: a name of up to 114 characters then fits its
    // directory record, where readers that take no continuation placed behind a file's data
    // (libarchive, in a later session) find it.
    iso_write_opts_set_rrip_version_1_10(options, 1);
    // A ring buffer larger than the default 2 MB keeps file reading and image writing apart.
    iso_write_opts_set_fifo_size(options, 8192);
    return options;
}

isoburn_imgen_opts *newSessionOptions(bool joliet)
{
    isoburn_imgen_opts *options = nullptr;
    if (isoburn_igopt_new(&options, 0) <= 0)
        return nullptr;
    isoburn_igopt_set_level(options, 3);
    isoburn_igopt_set_extensions(options,
                                 isoburn_igopt_rockridge | (joliet ? isoburn_igopt_joliet : 0));
    int relaxed = 0;
    isoburn_igopt_get_relaxed(options, &relaxed);
    isoburn_igopt_set_relaxed(options,
                              relaxed | isoburn_igopt_allow_deep_paths |
                                  isoburn_igopt_joliet_long_names | isoburn_igopt_dir_rec_mtime |
                                  isoburn_igopt_joliet_rec_mtime | isoburn_igopt_rrip_version_1_10);
    return options;
}

Expected<qint64> standaloneImageBytes(IsoImage *image, bool joliet)
{
    Expected<SourceHandle> source = createSource(image, joliet, true);
    if (!source)
        return source.result();
    burn::burn_source *raw = source.value().get();
    const qint64 bytes = raw->get_size(raw);
    raw->cancel(raw);
    return bytes;
}

Result saveStandaloneImage(IsoImage *image, bool joliet, const QString &path,
                           const std::function<void(qint64, qint64)> &progress,
                           const std::atomic<bool> &cancel, const std::function<Result()> &complete)
{
    // What a killed save left beside the image goes before this save adds its own.
    removeStaleReplacements(path);
    FileReplacement replacement(path);
    if (Result opened = replacement.open(); !opened)
        return opened;
    QFile &file = replacement.file();
    Expected<SourceHandle> made = createSource(image, joliet, false);
    if (!made)
        return made.result();
    burn::burn_source *source = made.value().get();
    const qint64 total = source->get_size(source);
    QByteArray buffer(chunkBlocks * 2048, Qt::Uninitialized);
    qint64 done = 0;
    qint64 handedToDisk = 0;
    while (done < total) {
        if (cancel) {
            source->cancel(source);
            return Result::failure(QStringLiteral("Cancelled."));
        }
        // The generator answers a request beyond the image's end with nothing at all.
        const int read = source->read_xt(source, reinterpret_cast<unsigned char *>(buffer.data()),
                                         int(qMin(qint64(buffer.size()), total - done)));
        if (read <= 0)
            break;
        if (file.write(buffer.constData(), read) != read) {
            source->cancel(source);
            return Result::failure(
                QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString()));
        }
        done += read;
        if (done - handedToDisk >= writebackBytes && file.flush()) {
            // Only a hint: the sync at the commit still guarantees the data.
            sync_file_range(file.handle(), handedToDisk, done - handedToDisk,
                            SYNC_FILE_RANGE_WRITE);
            handedToDisk = done;
        }
        progress(done / 2048, total / 2048);
    }
    if (done != total)
        return Result::failure(QStringLiteral("The image generator stopped early."));
    if (const Result checked = complete(); !checked)
        return checked;
    return replacement.commit();
}

} // namespace quillory
