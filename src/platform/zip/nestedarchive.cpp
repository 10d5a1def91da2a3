#include "platform/zip/nestedarchive.h"

#include "platform/zip/aesdecryption.h"

#include <QByteArray>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace quillory::zipdetail {

namespace {

// The nested archive as a seekable libzip source over the outer entry's raw data.
struct NestedSource {
    EntryFileHandle raw;
    quint64 dataStart = 0;
    quint64 size = 0;
    quint64 position = 0;
    quint64 rawPosition = 0;
    std::optional<WinZipAesDecryptor> decryptor;
    zip_error_t error{};
    // The bytes from `bufferStart` on, decrypted, for small reads.
    static constexpr quint64 readAhead = 64 * 1024;
    QByteArray buffer;
    quint64 bufferStart = 0;

    zip_int64_t fail(zip_error_t *cause)
    {
        zip_error_set(&error, zip_error_code_zip(cause), zip_error_code_system(cause));
        return -1;
    }

    zip_int64_t read(char *data, zip_uint64_t wanted)
    {
        const quint64 length = std::min<quint64>(wanted, size - position);
        if (length == 0)
            return 0;
        if (length > readAhead / 4) {
            if (!readRaw(position, data, length))
                return -1;
        } else {
            // libzip reads a directory too large for its first read entry by entry, each a few
            // dozen bytes: read one by one from the outer file, each would cost a seek and more.
            if (position < bufferStart || position + length > bufferStart + buffer.size()) {
                buffer.resize(qsizetype(std::min<quint64>(readAhead, size - position)));
                if (!readRaw(position, buffer.data(), quint64(buffer.size()))) {
                    buffer.clear();
                    return -1;
                }
                bufferStart = position;
            }
            std::copy_n(buffer.constData() + (position - bufferStart), length, data);
        }
        position += length;
        return zip_int64_t(length);
    }

    // Reads `length` bytes of the nested archive from `at`, decrypted.
    bool readRaw(quint64 at, char *data, quint64 length)
    {
        if (rawPosition != dataStart + at) {
            if (zip_fseek(raw.get(), zip_int64_t(dataStart + at), SEEK_SET) != 0) {
                fail(zip_file_get_error(raw.get()));
                return false;
            }
            rawPosition = dataStart + at;
        }
        for (quint64 done = 0; done < length;) {
            const zip_int64_t got = zip_fread(raw.get(), data + done, length - done);
            if (got < 0) {
                fail(zip_file_get_error(raw.get()));
                return false;
            }
            if (got == 0) {
                zip_error_set(&error, ZIP_ER_EOF, 0);
                return false;
            }
            done += quint64(got);
            rawPosition += quint64(got);
        }
        if (decryptor)
            decryptor->decrypt(at, reinterpret_cast<uint8_t *>(data), size_t(length));
        return true;
    }
};

zip_int64_t nestedSource(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto *source = static_cast<NestedSource *>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        source->position = 0;
        return 0;
    case ZIP_SOURCE_READ:
        return source->read(static_cast<char *>(data), length);
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto *st = static_cast<zip_stat_t *>(data);
        zip_stat_init(st);
        st->valid |= ZIP_STAT_SIZE;
        st->size = source->size;
        return sizeof(*st);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t to = zip_source_seek_compute_offset(source->position, source->size, data,
                                                              length, &source->error);
        if (to < 0)
            return -1;
        source->position = quint64(to);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return zip_int64_t(source->position);
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_SEEKABLE;
    case ZIP_SOURCE_FREE:
        zip_error_fini(&source->error);
        delete source;
        return 0;
    default:
        zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

Result unreadable(const EntryInfo &entry, const QString &why)
{
    return Result::failure(
        QStringLiteral("The nested archive \"%1\" cannot be read: %2").arg(entry.name, why));
}

} // namespace

bool readableInPlace(const EntryInfo &entry)
{
    return entry.kind == EntryInfo::Kind::File && entry.compressionMethod == ZIP_CM_STORE &&
           (!entry.encrypted() || entry.winZipAes());
}

Expected<SourceHandle> openNestedSource(zip_t *outer, const EntryInfo &entry,
                                        const QByteArray &password)
{
    if (!readableInPlace(entry))
        return unreadable(entry, QStringLiteral("it is compressed or encrypted otherwise"));
    const bool aes = entry.winZipAes();
    auto source = std::make_unique<NestedSource>();
    zip_error_init(&source->error);
    source->raw.reset(
        zip_fopen_index(outer, entry.index, ZIP_FL_COMPRESSED | (aes ? ZIP_FL_ENCRYPTED : 0)));
    if (!source->raw)
        return unreadable(entry, archiveErrorText(outer));
    source->size = entry.size;
    if (aes) {
        const Expected<WinZipAesKeys> keys = readWinZipAesKeys(source->raw.get(), entry, password);
        if (!keys)
            return keys.result();
        source->decryptor.emplace(keys->encryption);
        source->dataStart = winZipAesHeaderLength(entry.encryptionMethod);
        source->rawPosition = source->dataStart;
    }

    zip_error_t error;
    zip_error_init(&error);
    SourceHandle nested(zip_source_function_create(nestedSource, source.get(), &error));
    const QString why = zipErrorText(&error);
    zip_error_fini(&error);
    if (!nested)
        return unreadable(entry, why);
    // From here the source owns its state and frees it with itself.
    (void)source.release();
    return nested;
}

} // namespace quillory::zipdetail
