#pragma once

#include "platform/result.h"
#include "platform/zip/entryinfo.h"

#include <functional>

namespace quillory::zipdetail {

// Told how many more bytes of the archive have been read.
using ReadProgress = std::function<void(quint64 bytes)>;

// Reads an entry through and checks it: its CRC and, when encrypted, the password and
// authentication code. Stored entries, such as the nested archives that make up most of a
// backup, are read raw and checked here at memory speed (nettle's AES over whole runs of blocks,
// libdeflate's CRC). Of other WinZip AES entries only the password and the authentication code
// are checked, which cover every byte; the rest go through libzip as `readEntryData` reads them.
Result checkEntry(zip_t *archive, const EntryInfo &entry, const QByteArray &password,
                  const ReadProgress &progress = {});

} // namespace quillory::zipdetail
