#pragma once

#include <QString>

namespace quillory {

// Texts for what the disc-writing component reports.

// The text of a drive error code, followed by " (code).".
QString DriveErrorText(qint32 code);
// The text of a file error of the given kind, followed by the file's name.
QString FileErrorText(qint32 kind, const QString &fileName);
// A size in megabytes with two decimals and the locale's decimal separator, e.g. "1.50 MB".
QString FormatMegabytes(double bytes);

} // namespace quillory
