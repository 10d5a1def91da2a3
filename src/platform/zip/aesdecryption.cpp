#include "platform/zip/aesdecryption.h"

#include <QtEndian>

#include <nettle/memxor.h>

#include <algorithm>

namespace quillory::zipdetail {

namespace {

const nettle_cipher *cipherFor(qsizetype keyBytes)
{
    switch (keyBytes) {
    case 16:
        return &nettle_aes128;
    case 24:
        return &nettle_aes192;
    default:
        return &nettle_aes256;
    }
}

Result unreadable(const EntryInfo &entry, const QString &why)
{
    return Result::failure(
        QStringLiteral("Entry \"%1\" cannot be read (wrong password or damaged archive): %2")
            .arg(entry.name, why));
}

} // namespace

qsizetype winZipAesKeyBytes(zip_uint16_t method)
{
    switch (method) {
    case ZIP_EM_AES_128:
        return 16;
    case ZIP_EM_AES_192:
        return 24;
    default:
        return 32;
    }
}

quint64 winZipAesHeaderLength(zip_uint16_t method)
{
    return quint64(winZipAesKeyBytes(method) / 2 + winZipAesVerifierLength);
}

Expected<WinZipAesKeys> readWinZipAesKeys(zip_file_t *file, const EntryInfo &entry,
                                          const QByteArray &password)
{
    const qsizetype keyBytes = winZipAesKeyBytes(entry.encryptionMethod);
    const auto headerLength = qsizetype(winZipAesHeaderLength(entry.encryptionMethod));
    if (entry.compressedSize < quint64(headerLength + winZipAesCodeLength))
        return unreadable(entry, QStringLiteral("it is too short for its encryption"));
    QByteArray header(headerLength, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < headerLength) {
        const zip_int64_t n =
            zip_fread(file, header.data() + got, zip_uint64_t(headerLength - got));
        if (n < 0)
            return unreadable(entry, QString::fromLocal8Bit(zip_file_strerror(file)));
        if (n == 0)
            return unreadable(entry, QStringLiteral("its data ends early"));
        got += qsizetype(n);
    }
    WinZipAesKeys keys = deriveWinZipAesKeys(password, header.left(keyBytes / 2), keyBytes);
    if (keys.verifier != header.right(winZipAesVerifierLength))
        return unreadable(entry, QStringLiteral("the password does not match"));
    return keys;
}

WinZipAesDecryptor::WinZipAesDecryptor(const QByteArray &key)
    : m_cipher(cipherFor(key.size())), m_context(m_cipher->context_size)
{
    m_cipher->set_encrypt_key(m_context.data(), reinterpret_cast<const uint8_t *>(key.constData()));
}

void WinZipAesDecryptor::decrypt(quint64 offset, uint8_t *data, size_t length)
{
    while (length > 0) {
        const quint64 firstBlock = offset / AES_BLOCK_SIZE;
        const size_t skip = size_t(offset % AES_BLOCK_SIZE);
        const size_t blocks =
            std::min(keystreamBlocks, (skip + length + AES_BLOCK_SIZE - 1) / AES_BLOCK_SIZE);
        // The counter starts at 1 and fills the low 8 bytes of the block, little-endian; the
        // high 8 bytes stay 0.
        for (size_t block = 0; block < blocks; ++block)
            qToLittleEndian(firstBlock + block + 1,
                            m_counterBlocks.data() + block * AES_BLOCK_SIZE);
        m_cipher->encrypt(m_context.data(), blocks * AES_BLOCK_SIZE, m_keystream.data(),
                          m_counterBlocks.data());
        const size_t count = std::min(length, blocks * AES_BLOCK_SIZE - skip);
        memxor(data, m_keystream.data() + skip, count);
        data += count;
        length -= count;
        offset += count;
    }
}

} // namespace quillory::zipdetail
