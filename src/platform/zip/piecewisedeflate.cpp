#include "platform/zip/piecewisedeflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <thread>

namespace quillory::zipdetail {

namespace {

// An empty block marked final, with fixed codes: what zlib writes to end a stream after a flush.
constexpr uint8_t finalBlock[] = {0x03, 0x00};

// The most a deflate stream refers back.
constexpr size_t window = size_t(1) << MAX_WBITS;

std::optional<std::vector<uint8_t>> deflatePiece(const std::vector<uint8_t> &piece,
                                                 const std::vector<uint8_t> &before, int level,
                                                 int strategy)
{
    z_stream zlib{};
    if (deflateInit2(&zlib, level, Z_DEFLATED, -MAX_WBITS, 8, strategy) != Z_OK)
        return std::nullopt;
    if (!before.empty() &&
        deflateSetDictionary(&zlib, before.data(), uInt(before.size())) != Z_OK) {
        deflateEnd(&zlib);
        return std::nullopt;
    }
    // The bound of a finished stream, and room for the flush's empty stored block.
    std::vector<uint8_t> out(deflateBound(&zlib, uLong(piece.size())) + 64);
    zlib.next_in = const_cast<uint8_t *>(piece.data());
    zlib.avail_in = uInt(piece.size());
    int status = Z_OK;
    do {
        if (zlib.total_out == out.size())
            out.resize(out.size() * 2);
        zlib.next_out = out.data() + zlib.total_out;
        zlib.avail_out = uInt(out.size() - zlib.total_out);
        status = deflate(&zlib, Z_SYNC_FLUSH);
    } while (status == Z_OK && (zlib.avail_in > 0 || zlib.avail_out == 0));
    out.resize(zlib.total_out);
    deflateEnd(&zlib);
    if (status != Z_OK && status != Z_BUF_ERROR)
        return std::nullopt;
    return out;
}

} // namespace

PiecewiseDeflate::PiecewiseDeflate(int level, int strategy, Reader read, const uint8_t *start,
                                   size_t size)
    : m_level(level), m_strategy(strategy), m_read(std::move(read)),
      // One more than the cores, so that they stay busy while this thread reads the next piece.
      m_inFlight(std::max(1u, std::thread::hardware_concurrency()) + 1)
{
    for (size_t at = 0; at < size; at += pieceSize)
        launch(std::vector<uint8_t>(start + at, start + std::min(size, at + pieceSize)));
}

PiecewiseDeflate::~PiecewiseDeflate()
{
    for (auto &piece : m_pieces)
        piece.wait();
}

void PiecewiseDeflate::launch(std::vector<uint8_t> piece)
{
    std::vector<uint8_t> before = std::move(m_before);
    m_before.assign(piece.end() - qsizetype(std::min(piece.size(), window)), piece.end());
    // Deflated on this thread, when asked for, where no thread can be started.
    m_pieces.push_back(std::async(
        std::launch::async | std::launch::deferred,
        [piece = std::move(piece), before = std::move(before), level = m_level,
         strategy = m_strategy] { return deflatePiece(piece, before, level, strategy); }));
}

// Reads and launches pieces until enough are in flight or the file has ended.
bool PiecewiseDeflate::topUp()
{
    while (!m_inputEnded && m_pieces.size() < m_inFlight) {
        std::vector<uint8_t> piece(pieceSize);
        size_t got = 0;
        while (got < pieceSize) {
            const qint64 n = m_read(piece.data() + got, pieceSize - got);
            if (n < 0)
                return false;
            if (n == 0) {
                m_inputEnded = true;
                break;
            }
            got += size_t(n);
        }
        piece.resize(got);
        if (got > 0)
            launch(std::move(piece));
    }
    return true;
}

qint64 PiecewiseDeflate::read(uint8_t *data, size_t length)
{
    // Called from libzip, which no exception may cross: memory that runs out fails the entry.
    try {
        return readPieces(data, length);
    } catch (const std::exception &) {
        return -1;
    }
}

qint64 PiecewiseDeflate::readPieces(uint8_t *data, size_t length)
{
    size_t produced = 0;
    while (produced < length) {
        if (m_outAt < m_out.size()) {
            const size_t count = std::min(length - produced, m_out.size() - m_outAt);
            std::memcpy(data + produced, m_out.data() + m_outAt, count);
            m_outAt += count;
            produced += count;
            continue;
        }
        if (!topUp())
            return -1;
        m_outAt = 0;
        if (!m_pieces.empty()) {
            std::optional<std::vector<uint8_t>> deflated = m_pieces.front().get();
            m_pieces.pop_front();
            if (!deflated)
                return -1;
            m_out = std::move(*deflated);
        } else if (!m_finalWritten) {
            m_out.assign(std::begin(finalBlock), std::end(finalBlock));
            m_finalWritten = true;
        } else {
            m_out.clear();
            break;
        }
    }
    return qint64(produced);
}

} // namespace quillory::zipdetail
