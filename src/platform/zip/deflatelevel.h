#pragma once

#include <cstddef>
#include <cstdint>

namespace quillory::zipdetail {

// zlib's default level, and zip's: the archive comes out the size users know from those tools.
constexpr int thoroughDeflateLevel = 6;
// libdeflate's fastest, which finds long repeats as well but gives up sooner on short ones.
constexpr int fastDeflateLevel = 1;

// The level to deflate `data` at. Most of a mail store's bytes are attachments, encoded in base64
// from files that are compressed already (pictures, documents, archives). Such text has nothing
// deflate can shorten but its letters' codes, which the fast level makes as well as the thorough
// one, in a quarter less time; so do bytes spread over all values. Everything else gets the
// thorough level.
int deflateLevelFor(const uint8_t *data, size_t size);

} // namespace quillory::zipdetail
