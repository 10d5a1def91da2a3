#pragma once

#include "platform/result.h"
#include "platform/zip/entryinfo.h"

#include <QByteArray>

namespace quillory::zipdetail {

// Checks the authentication code of a WinZip AES entry against its raw, still encrypted data:
// the check that vouches for an entry whose CRC field is left empty.
Result checkAuthenticationCode(zip_t *archive, const EntryInfo &entry, const QByteArray &password);

} // namespace quillory::zipdetail
