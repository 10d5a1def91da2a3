#include "platform/zip/entrydata.h"

#include "platform/zip/aesauthentication.h"
#include "platform/zip/libziphandles.h"

#include <QByteArray>
#include <QFileDevice>

namespace quillory::zipdetail {

namespace {

// A write cut short (the disk filled up half-way) carries no error of its own: only writing the
// rest, which then writes nothing, gives the system's reason instead of "Unknown error".
bool writeAll(QIODevice &out, const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 written = out.write(data, size);
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

QString writtenTo(const QIODevice &out)
{
    const auto *file = qobject_cast<const QFileDevice *>(&out);
    return file ? file->fileName() : QStringLiteral("memory");
}

} // namespace

Result readEntryData(zip_t *archive, const EntryInfo &entry, QIODevice *out,
                     const QByteArray &password)
{
    // libzip before 1.8 compares the data of an AE-2 entry of 20 bytes or more with the 0 in its
    // CRC field and so finds every such entry damaged once it reaches the end. For these entries
    // the authentication code, which is what vouches for them, is checked first, and that one
    // complaint at the very end is disregarded.
    if (entry.withoutCrc)
        if (Result authentic = checkAuthenticationCode(archive, entry, password); !authentic)
            return authentic;

    const EntryFileHandle file(zip_fopen_index(archive, entry.index, 0));
    if (!file)
        return unreadableEntry(entry, archiveErrorText(archive));

    QByteArray buffer(readChunkSize, Qt::Uninitialized);
    quint64 total = 0;
    for (;;) {
        const zip_int64_t got = zip_fread(file.get(), buffer.data(), zip_uint64_t(buffer.size()));
        if (got < 0) {
            if (entry.withoutCrc && total == entry.size &&
                zip_error_code_zip(zip_file_get_error(file.get())) == ZIP_ER_CRC)
                break;
            return unreadableEntry(entry, QString::fromLocal8Bit(zip_file_strerror(file.get())));
        }
        if (got == 0)
            break;
        total += quint64(got);
        if (total > entry.size)
            return Result::failure(
                QStringLiteral("Entry \"%1\" holds more data than the %2 bytes it declares.")
                    .arg(entry.name)
                    .arg(entry.size));
        if (out && !writeAll(*out, buffer.constData(), got))
            return Result::failure(QStringLiteral("Cannot write entry \"%1\" to %2: %3")
                                       .arg(entry.name, writtenTo(*out), out->errorString()));
    }
    if (total != entry.size)
        return Result::failure(
            QStringLiteral("Entry \"%1\" is damaged: it holds %2 bytes but declares %3.")
                .arg(entry.name)
                .arg(total)
                .arg(entry.size));
    return Result::success();
}

} // namespace quillory::zipdetail
