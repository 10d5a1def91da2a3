#pragma once

#include <QByteArray>

#include <nettle/aes.h>
#include <nettle/hmac.h>

#include <array>
#include <cstdint>

namespace quillory::zipdetail {

// Fixed by the WinZip AES format: the entry's data is the salt, the password verifier, the
// encrypted data and the authentication code, in that order.
constexpr unsigned winZipAesKeyRounds = 1000;
constexpr qsizetype winZipAesVerifierLength = 2;
constexpr qsizetype winZipAesCodeLength = 10;

struct WinZipAesKeys {
    QByteArray encryption;
    QByteArray authentication;
    QByteArray verifier;
};

// The keys a password and salt give for an AES key of `keyBytes` bytes; the salt is half as long.
WinZipAesKeys deriveWinZipAesKeys(const QByteArray &password, const QByteArray &salt,
                                  qsizetype keyBytes);

// Encrypts one entry's data with AES-256 as WinZip does: a fresh random salt, the counter mode
// with its little-endian counter, and HMAC-SHA1 over the encrypted bytes. Whole runs of counter
// blocks are encrypted at once, which lets nettle use the processor's AES instructions.
class WinZipAesEncryptor {
public:
    explicit WinZipAesEncryptor(const QByteArray &password);
    WinZipAesEncryptor(const WinZipAesEncryptor &) = delete;
    WinZipAesEncryptor &operator=(const WinZipAesEncryptor &) = delete;

    // The salt and the password verifier, which come before the encrypted data.
    const QByteArray &header() const { return m_header; }
    // Encrypts `length` bytes in place; the data may come in pieces of any size.
    void encrypt(uint8_t *data, size_t length);
    // The authentication code, which follows the encrypted data.
    QByteArray authenticationCode();

private:
    static constexpr size_t keystreamBlocks = 256;

    void refillKeystream();

    aes256_ctx m_aes{};
    hmac_sha1_ctx m_mac{};
    QByteArray m_header;
    quint64 m_counter = 0;
    std::array<uint8_t, keystreamBlocks * AES_BLOCK_SIZE> m_counterBlocks{};
    std::array<uint8_t, keystreamBlocks * AES_BLOCK_SIZE> m_keystream{};
    size_t m_keystreamUsed = keystreamBlocks * AES_BLOCK_SIZE;
};

} // namespace quillory::zipdetail
