#pragma once

#include "platform/result.h"

#include <QString>

#include <atomic>
#include <functional>

struct Iso_Image;
struct iso_write_opts;
struct isoburn_imgen_opts;

namespace quillory {

// The image format of every disc and image file, one set of options for both: ISO level 3 (files
// over 4 GiB), Rock Ridge always, Joliet on request; deep trees kept in place, the label as typed,
// Joliet names up to 103 characters, and each file's and folder's own time in every tree.
iso_write_opts *newIsoWriteOptions(bool joliet);
isoburn_imgen_opts *newSessionOptions(bool joliet);

// The exact size of a stand-alone image of `image`, computed without writing it.
Expected<qint64> standaloneImageBytes(Iso_Image *image, bool joliet);

// Writes a stand-alone image of `image` to `path` under a temporary name beside it, and moves
// it into place, synced to disk, only when complete and `complete` agrees: a failure, a cancel
// or a refusal of `complete` leaves what was at `path`. `progress` gets the blocks done and the
// total.
Result saveStandaloneImage(Iso_Image *image, bool joliet, const QString &path,
                           const std::function<void(qint64, qint64)> &progress,
                           const std::atomic<bool> &cancel,
                           const std::function<Result()> &complete);

} // namespace quillory
