#pragma once

#include <QByteArray>

#include <zip.h>

#include <optional>

namespace quillory::zipdetail {

// Where a zip archive's directory lies, as its end records give it.
struct DirectoryEnd {
    quint64 entries = 0;
    quint64 directoryAt = 0;
    quint64 directorySize = 0;
};

// The records that end an archive after its directory, as libzip writes them: zip64's as well
// where the classic record cannot hold the numbers or `zip64` asks for them.
QByteArray endRecords(const DirectoryEnd &end, bool zip64);

// Reads the end records of the archive in `source`, which is open, seekable and `size` bytes
// long; nullopt where they are missing or make no sense, which libzip then reports in its words.
std::optional<DirectoryEnd> readEndRecords(zip_source_t *source, quint64 size);

} // namespace quillory::zipdetail
