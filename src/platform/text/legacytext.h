#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace quillory {

// Text written on Windows is in the system's ANSI code page; text written here is UTF-8. A text
// that is valid UTF-8 is taken as UTF-8, since legacy text seldom is by chance.

bool isUtf8(QByteArrayView bytes);

// Strict conversions: nullopt when a byte or character has no counterpart, or when no converter
// knows the code page.
std::optional<QString> fromCodePage(QByteArrayView bytes, int codePage);
std::optional<QByteArray> toCodePage(const QString &text, int codePage);

// Whether text can be converted from and to that code page.
bool isConvertibleCodePage(int codePage);

// UTF-8 when the bytes are valid UTF-8, else the legacy code page (legacyCodePage()).
std::optional<QString> decodeText(QByteArrayView bytes);
// A file name from an archive as text: UTF-8, else the legacy code page, else the DOS code page of
// the same language where the legacy one leaves a byte undefined; never a control character.
QString decodeName(QByteArrayView bytes);

// The same bytes as UTF-8: unchanged when they are UTF-8 already.
std::optional<QByteArray> textAsUtf8(const QByteArray &bytes);

// The byte forms a password may have been set in, to be tried in this order: UTF-8, then the
// legacy code page when that differs, as zip components on Windows take the ANSI form.
QList<QByteArray> passwordForms(const QString &password);

} // namespace quillory
