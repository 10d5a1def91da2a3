#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QString>

namespace quillory {

// Replaces a file as one step: the contents go to a new file beside it, which is synced to disk
// and renamed over the old one, so that a failure leaves the old file as it was. The new file
// keeps the old one's permissions and owner.
Result replaceFileContents(const QString &path, const QByteArray &contents);

} // namespace quillory
