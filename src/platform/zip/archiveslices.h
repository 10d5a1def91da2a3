#pragma once

#include "platform/result.h"
#include "platform/zip/endrecords.h"
#include "platform/zip/libziphandles.h"

#include <functional>
#include <utility>
#include <vector>

namespace quillory::zipdetail {

// A zip archive read through libzip a slice of its directory at a time. libzip holds the whole
// directory of an archive it opens, about 300 bytes an entry: for an account of a quarter of a
// million messages, 75 MB. A slice is opened as an archive of its own, made of the same bytes up
// to the directory, the slice's records and end records written for them, so that libzip finds
// each entry's data where it lies. An archive of one slice's entries, or one whose directory does
// not read as expected, is opened whole, and libzip has the last word on it.
class ArchiveSlices {
public:
    static constexpr quint64 entriesPerSlice = 16384;

    // `archive` as the one slice; it stays the caller's.
    explicit ArchiveSlices(zip_t *archive) : m_whole(archive) {}
    // The archive whose bytes `base` gives: a seekable source that knows its size. Fails with
    // libzip's reason when it cannot be opened.
    static Expected<ArchiveSlices> open(SourceHandle base);

    qsizetype count() const { return m_slices.empty() ? 1 : qsizetype(m_slices.size()) - 1; }
    // The slice's first entry, in the numbering of the whole archive.
    quint64 first(qsizetype slice) const
    {
        return m_slices.empty() ? 0 : m_slices[size_t(slice)].first;
    }
    quint64 entryCount() const;
    // Opens `slice`, whose entries are numbered from 0; the slice opened before is closed.
    Expected<zip_t *> slice(qsizetype slice);
    // Hands every slice in turn to `visit`, with the number its first entry has in the whole
    // archive; stops at the first failure, of opening a slice or of `visit`.
    Result eachSlice(const std::function<Result(zip_t *entries, quint64 first)> &visit);

private:
    ArchiveSlices() = default;
    bool cut();

    zip_t *m_whole = nullptr;
    SourceHandle m_base;
    // Closed before the base it reads goes.
    ArchiveHandle m_opened;
    DirectoryEnd m_end;
    // Each slice's first entry and where its records start; then the number of entries and where
    // the directory ends.
    std::vector<std::pair<quint64, quint64>> m_slices;
};

} // namespace quillory::zipdetail
