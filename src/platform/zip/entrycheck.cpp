#include "platform/zip/entrycheck.h"

#include "platform/zip/aesauthentication.h"
#include "platform/zip/aesdecryption.h"
#include "platform/zip/entrydata.h"
#include "platform/zip/libziphandles.h"

#include <QByteArray>

#include <libdeflate.h>
#include <nettle/hmac.h>

#include <algorithm>
#include <optional>

namespace quillory::zipdetail {

namespace {

// Large reads let the checks run at memory speed; one buffer serves the whole entry.
constexpr qsizetype checkChunkSize = 1024 * 1024;

Result readExactly(zip_file_t *file, const EntryInfo &entry, char *data, quint64 length)
{
    while (length > 0) {
        const zip_int64_t got = zip_fread(file, data, length);
        if (got < 0)
            return unreadableEntry(entry, QString::fromLocal8Bit(zip_file_strerror(file)));
        if (got == 0)
            return unreadableEntry(entry, QStringLiteral("its data ends early"));
        data += got;
        length -= quint64(got);
    }
    return Result::success();
}

Result checkStoredEntry(zip_t *archive, const EntryInfo &entry, const QByteArray &password,
                        const ReadProgress &progress)
{
    const bool aes = entry.winZipAes();
    const quint64 header = aes ? winZipAesHeaderLength(entry.encryptionMethod) : 0;
    const quint64 trailer = aes ? quint64(winZipAesCodeLength) : 0;
    if (entry.compressedSize < header + trailer ||
        entry.compressedSize - header - trailer != entry.size)
        return unreadableEntry(entry, QStringLiteral("its stored size does not match its size"));

    const EntryFileHandle file(
        zip_fopen_index(archive, entry.index, ZIP_FL_COMPRESSED | (aes ? ZIP_FL_ENCRYPTED : 0)));
    if (!file)
        return unreadableEntry(entry, archiveErrorText(archive));
    hmac_sha1_ctx mac;
    std::optional<WinZipAesDecryptor> decryptor;
    if (aes) {
        const Expected<WinZipAesKeys> keys = readWinZipAesKeys(file.get(), entry, password);
        if (!keys)
            return keys.result();
        hmac_sha1_set_key(&mac, size_t(keys->authentication.size()),
                          reinterpret_cast<const uint8_t *>(keys->authentication.constData()));
        // Without a CRC the authentication code alone vouches for the data: nothing to decrypt.
        if (entry.crc)
            decryptor.emplace(keys->encryption);
    }
    if (progress)
        progress(header);

    QByteArray buffer(qsizetype(std::min<quint64>(checkChunkSize, entry.size)), Qt::Uninitialized);
    auto *bytes = reinterpret_cast<uint8_t *>(buffer.data());
    uint32_t crc = 0;
    for (quint64 done = 0; done < entry.size;) {
        const quint64 count = std::min<quint64>(quint64(buffer.size()), entry.size - done);
        if (Result read = readExactly(file.get(), entry, buffer.data(), count); !read)
            return read;
        if (aes)
            hmac_sha1_update(&mac, size_t(count), bytes);
        if (decryptor)
            decryptor->decrypt(done, bytes, size_t(count));
        if (entry.crc)
            crc = libdeflate_crc32(crc, bytes, size_t(count));
        done += count;
        if (progress)
            progress(count);
    }
    if (aes) {
        QByteArray stored(winZipAesCodeLength, Qt::Uninitialized);
        if (Result read = readExactly(file.get(), entry, stored.data(), trailer); !read)
            return read;
        QByteArray computed(winZipAesCodeLength, Qt::Uninitialized);
        hmac_sha1_digest(&mac, size_t(computed.size()),
                         reinterpret_cast<uint8_t *>(computed.data()));
        if (computed != stored)
            return unreadableEntry(entry, QStringLiteral("its authentication code does not match"));
        if (progress)
            progress(trailer);
    }
    if (entry.crc && crc != *entry.crc)
        return unreadableEntry(entry, QStringLiteral("CRC error"));
    return Result::success();
}

} // namespace

Result checkEntry(zip_t *archive, const EntryInfo &entry, const QByteArray &password,
                  const ReadProgress &progress)
{
    if (entry.compressionMethod == ZIP_CM_STORE && (!entry.encrypted() || entry.winZipAes()))
        return checkStoredEntry(archive, entry, password, progress);
    // The authentication code vouches for every encrypted byte, so that the one decryption is
    // left to extraction, which checks the CRC as it inflates.
    Result read = entry.winZipAes() ? checkAuthenticationCode(archive, entry, password)
                                    : readEntryData(archive, entry, nullptr, password);
    if (read && progress)
        progress(entry.compressedSize);
    return read;
}

} // namespace quillory::zipdetail
