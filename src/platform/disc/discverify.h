#pragma once

#include "platform/disc/compilation.h"

#include <functional>

namespace burn {
struct burn_drive;
}

namespace quillory {

// Reads the newest session of the medium and compares every given file with its source, byte
// for byte; a file imported from the medium (no source) must read back whole. `report` gets each
// file with its verify status and the count done so far. Returns how many files matched.
int verifyAgainstSources(
    burn::burn_drive *drive, const QList<SourceFile> &files,
    const std::function<void(const SourceFile &, int status, int done)> &report);

} // namespace quillory
