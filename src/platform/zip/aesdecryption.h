#pragma once

#include "platform/result.h"
#include "platform/zip/entryinfo.h"
#include "platform/zip/winzipaes.h"

#include <nettle/nettle-meta.h>

#include <array>
#include <cstdint>
#include <vector>

namespace quillory::zipdetail {

// The length of a WinZip AES entry's key, in bytes: 16, 24 or 32.
qsizetype winZipAesKeyBytes(zip_uint16_t method);
// How many bytes come before a WinZip AES entry's encrypted data: the salt and the verifier.
quint64 winZipAesHeaderLength(zip_uint16_t method);

// Reads the salt and password verifier at the start of a WinZip AES entry's raw data from `file`
// (opened with ZIP_FL_ENCRYPTED) and derives the entry's keys; fails when the password does not
// match.
Expected<WinZipAesKeys> readWinZipAesKeys(zip_file_t *file, const EntryInfo &entry,
                                          const QByteArray &password);

// Decrypts WinZip AES data at any offset: the counter mode gives each 16-byte block its own key
// stream, so that a nested archive can be read where it lies, with seeks, without decrypting
// what comes before. Whole runs of blocks go to nettle at once, as in the writer.
class WinZipAesDecryptor {
public:
    // `key` is the encryption key of `deriveWinZipAesKeys`; its length picks the AES variant.
    explicit WinZipAesDecryptor(const QByteArray &key);

    // Decrypts in place `length` bytes that lie at `offset` in the encrypted data.
    void decrypt(quint64 offset, uint8_t *data, size_t length);

private:
    static constexpr size_t keystreamBlocks = 256;

    const nettle_cipher *m_cipher;
    std::vector<uint8_t> m_context;
    std::array<uint8_t, keystreamBlocks * AES_BLOCK_SIZE> m_counterBlocks{};
    std::array<uint8_t, keystreamBlocks * AES_BLOCK_SIZE> m_keystream{};
};

} // namespace quillory::zipdetail
