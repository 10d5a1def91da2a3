#include "platform/zip/compresseddata.h"

#include <array>
#include <cmath>

namespace quillory::zipdetail {

namespace {

// Every fourth byte shows how bytes are spread well enough, for a small part of deflate's cost.
constexpr size_t sampleStep = 4;
// base64 text holds 64 letters and line breaks evenly, about 6 bits a byte; prose stays below 5.
constexpr double encodedTextBits = 5.8;
// base64's letters and line breaks, and a few dozen more from a message's own text around an
// attachment. Bytes of many more values spread this evenly are binary data, where repeats may
// still pay.
constexpr int encodedTextLetters = 100;
// Compressed data: no repeats left to find.
constexpr double compressedBits = 7.5;

} // namespace

bool looksCompressed(const uint8_t *data, size_t size)
{
    std::array<size_t, 256> counts{};
    size_t sampled = 0;
    for (size_t at = 0; at < size; at += sampleStep, ++sampled)
        ++counts[data[at]];
    double bits = 0;
    int letters = 0;
    for (const size_t count : counts)
        if (count != 0) {
            ++letters;
            const double share = double(count) / double(sampled);
            bits -= share * std::log2(share);
        }
    const bool encodedText = bits >= encodedTextBits && letters <= encodedTextLetters;
    return encodedText || bits >= compressedBits;
}

int wholeFileDeflateLevel(const uint8_t *data, size_t size)
{
    return size <= smallFileLimit || looksCompressed(data, size) ? fastDeflateLevel
                                                                 : thoroughDeflateLevel;
}

} // namespace quillory::zipdetail
