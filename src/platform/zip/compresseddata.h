#pragma once

#include <cstddef>
#include <cstdint>

namespace quillory::zipdetail {

// zlib's default level, and zip's: the archive comes out the size users know from those tools.
constexpr int thoroughDeflateLevel = 6;
// libdeflate's fastest, which finds long repeats as well but gives up sooner on short ones.
constexpr int fastDeflateLevel = 1;

// Whether `data` is compressed already, as deflate sees it: compressed bytes, or base64 text
// encoding them. Most of a mail store's bytes are such text: attachments (pictures, documents,
// archives). Deflate can only shorten it by its letters' codes; a search for repeats finds next to
// none, so the fastest search makes it as small as the thorough one.
bool looksCompressed(const uint8_t *data, size_t size);

// Files up to this size are deflated with the fastest search. Setting up the thorough search
// costs more than deflating a short message, and on so few bytes it finds little more: short
// plain messages come out about 1% larger, in two thirds of the time. On longer prose the
// fastest search falls further behind zip's size.
constexpr size_t smallFileLimit = 4 * 1024;

// The level to deflate a whole file with.
int wholeFileDeflateLevel(const uint8_t *data, size_t size);

} // namespace quillory::zipdetail
