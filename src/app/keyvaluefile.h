#pragma once

#include "platform/result.h"

#include <QString>

namespace quillory {

// Key-value text files: one "key=value" line each, CR LF line ends. Written in UTF-8; read as
// UTF-8 or, when a file is not, in the legacy code page that archives made on Windows use.

// Appends one line, creating the file when it does not exist. Nothing is ever replaced.
Result SaveINI(const QString &KeyName, const QString &KeyValue, const QString &filename);

// The value of the first line whose key matches without regard to case; the empty text when
// no line matches. Reading stops at the first empty line. Fails when the file cannot be read.
Expected<QString> GetINI(const QString &KeyName, const QString &filename);

// The same value as the file holds its bytes, for matching names written in whatever code page.
Expected<QByteArray> GetINIBytes(const QString &KeyName, const QString &filename);

} // namespace quillory
