#pragma once

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <optional>
#include <vector>

namespace quillory::zipdetail {

// Deflates a long file in pieces on several threads at once, as parallel gzip tools do: each piece
// is a raw deflate stream of its own, ended on a byte boundary by a sync flush and not marked
// final, so that the pieces one after the other, closed by an empty final block, are one deflate
// stream to any reader. Each piece starts knowing the last 32 KB of the one before, so it refers
// back as a single stream would. A mail store's large files are mostly one attachment each;
// deflated on one thread, each would keep the other cores waiting.
class PiecewiseDeflate {
public:
    static constexpr size_t pieceSize = 1024 * 1024;
    // Reads the file on: at most `length` bytes, 0 at its end, -1 when reading failed.
    using Reader = std::function<qint64(uint8_t *data, size_t length)>;

    // `level` and `strategy` as zlib takes them; `start` holds the file's first bytes, already
    // read.
    PiecewiseDeflate(int level, int strategy, Reader read, const uint8_t *start, size_t size);
    ~PiecewiseDeflate();
    PiecewiseDeflate(const PiecewiseDeflate &) = delete;
    PiecewiseDeflate &operator=(const PiecewiseDeflate &) = delete;

    // The next deflated bytes, at most `length`: 0 at the end, -1 when reading or deflating
    // failed.
    qint64 read(uint8_t *data, size_t length);

private:
    qint64 readPieces(uint8_t *data, size_t length);
    void launch(std::vector<uint8_t> piece);
    bool topUp();

    const int m_level;
    const int m_strategy;
    const Reader m_read;
    const size_t m_inFlight;
    std::deque<std::future<std::optional<std::vector<uint8_t>>>> m_pieces;
    // The end of the last piece launched, which the next may refer back into.
    std::vector<uint8_t> m_before;
    std::vector<uint8_t> m_out;
    size_t m_outAt = 0;
    bool m_inputEnded = false;
    bool m_finalWritten = false;
};

} // namespace quillory::zipdetail
