#pragma once

#include "platform/result.h"
#include "platform/zip/entryinfo.h"

#include <QIODevice>

namespace quillory::zipdetail {

// Reads an entry to its end in fixed-size chunks, into `out` when given. libzip checks the CRC
// and, for AES entries, the authentication code; this also checks that the data is exactly as
// long as the entry declares, so that a hostile entry cannot pour out more than it announced.
// `password` is the one the archive was opened with.
Result readEntryData(zip_t *archive, const EntryInfo &entry, QIODevice *out,
                     const QByteArray &password);

} // namespace quillory::zipdetail
