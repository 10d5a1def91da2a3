#include "platform/zip/winzipaes.h"

#include <QRandomGenerator>
#include <QtEndian>

#include <nettle/memxor.h>
#include <nettle/pbkdf2.h>

#include <algorithm>

namespace quillory::zipdetail {

namespace {

constexpr qsizetype aes256KeyBytes = 32;

const uint8_t *bytes(const QByteArray &data)
{
    return reinterpret_cast<const uint8_t *>(data.constData());
}

} // namespace

WinZipAesKeys deriveWinZipAesKeys(const QByteArray &password, const QByteArray &salt,
                                  qsizetype keyBytes)
{
    QByteArray derived(2 * keyBytes + winZipAesVerifierLength, Qt::Uninitialized);
    pbkdf2_hmac_sha1(size_t(password.size()), bytes(password), winZipAesKeyRounds,
                     size_t(salt.size()), bytes(salt), size_t(derived.size()),
                     reinterpret_cast<uint8_t *>(derived.data()));
    return {derived.left(keyBytes), derived.mid(keyBytes, keyBytes),
            derived.right(winZipAesVerifierLength)};
}

WinZipAesEncryptor::WinZipAesEncryptor(const QByteArray &password)
{
    QByteArray salt(aes256KeyBytes / 2, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(salt.data()),
                                          salt.size() / qsizetype(sizeof(quint32)));
    const WinZipAesKeys keys = deriveWinZipAesKeys(password, salt, aes256KeyBytes);
    aes256_set_encrypt_key(&m_aes, bytes(keys.encryption));
    hmac_sha1_set_key(&m_mac, size_t(keys.authentication.size()), bytes(keys.authentication));
    m_header = salt + keys.verifier;
}

void WinZipAesEncryptor::refillKeystream()
{
    for (size_t block = 0; block < keystreamBlocks; ++block)
        qToLittleEndian(++m_counter, m_counterBlocks.data() + block * AES_BLOCK_SIZE);
    aes256_encrypt(&m_aes, m_keystream.size(), m_keystream.data(), m_counterBlocks.data());
    m_keystreamUsed = 0;
}

void WinZipAesEncryptor::encrypt(uint8_t *data, size_t length)
{
    uint8_t *const start = data;
    const size_t total = length;
    while (length > 0) {
        if (m_keystreamUsed == m_keystream.size())
            refillKeystream();
        const size_t count = std::min(length, m_keystream.size() - m_keystreamUsed);
        memxor(data, m_keystream.data() + m_keystreamUsed, count);
        data += count;
        length -= count;
        m_keystreamUsed += count;
    }
    hmac_sha1_update(&m_mac, total, start);
}

QByteArray WinZipAesEncryptor::authenticationCode()
{
    QByteArray code(winZipAesCodeLength, Qt::Uninitialized);
    hmac_sha1_digest(&m_mac, size_t(code.size()), reinterpret_cast<uint8_t *>(code.data()));
    return code;
}

} // namespace quillory::zipdetail
