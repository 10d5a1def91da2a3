#include "platform/zip/aesauthentication.h"

#include "platform/zip/aesdecryption.h"
#include "platform/zip/libziphandles.h"
#include "platform/zip/winzipaes.h"

#include <nettle/hmac.h>

#include <algorithm>

namespace quillory::zipdetail {

namespace {

const uint8_t *bytes(const char *data)
{
    return reinterpret_cast<const uint8_t *>(data);
}

} // namespace

Result checkAuthenticationCode(zip_t *archive, const EntryInfo &entry, const QByteArray &password)
{
    const qsizetype keyBytes = winZipAesKeyBytes(entry.encryptionMethod);
    const quint64 headerEnd = quint64(keyBytes / 2 + winZipAesVerifierLength);
    if (entry.compressedSize < headerEnd + winZipAesCodeLength)
        return unreadableEntry(entry, QStringLiteral("it is too short for its encryption"));
    const quint64 codeStart = entry.compressedSize - winZipAesCodeLength;

    const EntryFileHandle file(zip_fopen_index(archive, entry.index, ZIP_FL_ENCRYPTED));
    if (!file)
        return unreadableEntry(entry, archiveErrorText(archive));

    QByteArray header;
    QByteArray storedCode;
    hmac_sha1_ctx mac;
    bool keyed = false;
    QByteArray buffer(readChunkSize, Qt::Uninitialized);
    quint64 position = 0;
    while (position < entry.compressedSize) {
        const zip_int64_t got =
            zip_fread(file.get(), buffer.data(),
                      std::min<quint64>(quint64(buffer.size()), entry.compressedSize - position));
        if (got < 0)
            return unreadableEntry(entry, QString::fromLocal8Bit(zip_file_strerror(file.get())));
        if (got == 0)
            return unreadableEntry(entry, QStringLiteral("its data ends early"));

        const char *data = buffer.constData();
        quint64 left = quint64(got);
        const auto take = [&](quint64 end, const auto &consume) {
            if (position >= end || left == 0)
                return;
            const quint64 count = std::min(left, end - position);
            consume(data, count);
            data += count;
            left -= count;
            position += count;
        };
        take(headerEnd,
             [&](const char *part, quint64 count) { header.append(part, qsizetype(count)); });
        if (!keyed && position == headerEnd) {
            const WinZipAesKeys keys =
                deriveWinZipAesKeys(password, header.left(keyBytes / 2), keyBytes);
            if (keys.verifier != header.right(winZipAesVerifierLength))
                return unreadableEntry(entry, QStringLiteral("the password does not match"));
            hmac_sha1_set_key(&mac, size_t(keyBytes), bytes(keys.authentication.constData()));
            keyed = true;
        }
        take(codeStart, [&](const char *part, quint64 count) {
            hmac_sha1_update(&mac, size_t(count), bytes(part));
        });
        take(entry.compressedSize,
             [&](const char *part, quint64 count) { storedCode.append(part, qsizetype(count)); });
    }

    QByteArray computed(winZipAesCodeLength, Qt::Uninitialized);
    hmac_sha1_digest(&mac, size_t(winZipAesCodeLength),
                     reinterpret_cast<uint8_t *>(computed.data()));
    if (computed != storedCode)
        return unreadableEntry(entry, QStringLiteral("its authentication code does not match"));
    return Result::success();
}

} // namespace quillory::zipdetail
