#pragma once

#include <QtGlobal>

#include <zip.h>

#include <memory>

namespace quillory::zipdetail {

struct DiscardArchive {
    void operator()(zip_t *archive) const { zip_discard(archive); }
};
using ArchiveHandle = std::unique_ptr<zip_t, DiscardArchive>;

struct CloseEntryFile {
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
using EntryFileHandle = std::unique_ptr<zip_file_t, CloseEntryFile>;

struct FreeSource {
    void operator()(zip_source_t *source) const { zip_source_free(source); }
};
using SourceHandle = std::unique_ptr<zip_source_t, FreeSource>;

// Entry data is read in pieces of this size, so that memory use does not grow with entry size.
constexpr qsizetype readChunkSize = 256 * 1024;

} // namespace quillory::zipdetail
