#include "platform/disc/discverify.h"

#include "platform/disc/burnheaders.h"
#include "platform/disc/discwriter.h"

#include <QFile>

#include <cstring>

namespace quillory {

namespace {

constexpr qsizetype chunkSize = 1 << 20;

// Fills `buffer` from the stream as far as it goes; the bytes read, or -1 on a read error.
qint64 readStream(IsoStream *stream, char *buffer, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const int read = iso_stream_read(stream, buffer + done, size_t(size - done));
        if (read < 0)
            return -1;
        if (read == 0)
            break;
        done += read;
    }
    return done;
}

// A file imported from the medium has no source to compare with: it must read back whole.
int readBack(IsoStream *stream, qint64 size)
{
    if (qint64(iso_stream_get_size(stream)) != size)
        return DiscWriter::VerifySizeDiffers;
    if (iso_stream_open(stream) < 0)
        return DiscWriter::VerifyDiscUnreadable;
    QByteArray buffer(chunkSize, Qt::Uninitialized);
    qint64 done = 0;
    qint64 read = 0;
    while ((read = readStream(stream, buffer.data(), chunkSize)) > 0)
        done += read;
    iso_stream_close(stream);
    if (read < 0)
        return DiscWriter::VerifyDiscUnreadable;
    return done == size ? DiscWriter::VerifyMatched : DiscWriter::VerifySizeDiffers;
}

int compareFile(IsoImage *image, const SourceFile &file)
{
    const QByteArray path = file.key.toUtf8().replace('\\', '/');
    IsoNode *node = nullptr;
    if (iso_image_path_to_node(image, path.constData(), &node) != 1 || !ISO_NODE_IS_FILE(node))
        return DiscWriter::VerifyDiscUnreadable;
    if (file.sourcePath.isEmpty())
        return readBack(iso_file_get_stream(reinterpret_cast<IsoFile *>(node)), file.size);
    QFile source(file.sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return DiscWriter::VerifySourceUnreadable;
    IsoStream *stream = iso_file_get_stream(reinterpret_cast<IsoFile *>(node));
    if (qint64(iso_stream_get_size(stream)) != source.size())
        return DiscWriter::VerifySizeDiffers;
    if (iso_stream_open(stream) < 0)
        return DiscWriter::VerifyDiscUnreadable;
    QByteArray fromSource(chunkSize, Qt::Uninitialized);
    QByteArray fromDisc(chunkSize, Qt::Uninitialized);
    int status = DiscWriter::VerifyMatched;
    for (;;) {
        const qint64 sourceRead = source.read(fromSource.data(), chunkSize);
        if (sourceRead < 0) {
            status = DiscWriter::VerifySourceUnreadable;
            break;
        }
        const qint64 discRead = readStream(stream, fromDisc.data(), chunkSize);
        if (discRead < 0) {
            status = DiscWriter::VerifyDiscUnreadable;
            break;
        }
        if (discRead != sourceRead) {
            status = DiscWriter::VerifySizeDiffers;
            break;
        }
        if (std::memcmp(fromSource.constData(), fromDisc.constData(), size_t(discRead)) != 0) {
            status = DiscWriter::VerifyContentDiffers;
            break;
        }
        if (sourceRead == 0)
            break;
    }
    iso_stream_close(stream);
    return status;
}

} // namespace

int verifyAgainstSources(burn_drive *drive, const QList<SourceFile> &files,
                         const std::function<void(const SourceFile &, int, int)> &report)
{
    isoburn_read_opts *options = nullptr;
    isoburn_ropt_new(&options, 0);
    isoburn_ropt_set_extensions(options, isoburn_ropt_noacl | isoburn_ropt_noea);
    IsoImage *image = nullptr;
    const bool loaded = isoburn_read_image(drive, options, &image) == 1;
    int matched = 0;
    for (int i = 0; i < files.size(); ++i) {
        const int status = loaded ? compareFile(image, files[i]) : DiscWriter::VerifyDiscUnreadable;
        matched += status == DiscWriter::VerifyMatched ? 1 : 0;
        report(files[i], status, i + 1);
    }
    if (image)
        iso_image_unref(image);
    isoburn_ropt_destroy(&options, 0);
    return matched;
}

} // namespace quillory
