#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace quillory {

// The text forms inside Wine's registry files, read and written as wineserver does.

struct RegistryStringParse {
    QString text;
    qsizetype consumed = 0; // bytes read, the closing character included
};

// Reads an escaped string up to the unescaped `end` character. Raw bytes above 0x7f are read as
// UTF-8. Nothing when `end` never comes.
std::optional<RegistryStringParse> parseRegistryString(QByteArrayView text, char end);

// Escapes UTF-16 text to 7-bit ASCII. Besides the backslash, the characters in `quoted` get one
// (the quote in value names and data, the brackets in key names).
QByteArray escapeRegistryString(QStringView text, QByteArrayView quoted);

// Wine's order of key and value names: UTF-16 units compared lower-cased, a prefix first.
// Zero means the same name.
int compareRegistryNames(QStringView a, QStringView b);

// A value's line (or lines, for long binary data), line end included. `data` is the value as
// wineserver holds it: strings in UTF-16LE.
QByteArray registryValueText(const QString &name, std::uint32_t type, const QByteArray &data);

// Hex data after "hex:" or "hex(N):": bytes separated by commas, spaces allowed. Returns the
// number of bytes read from `text`, or nothing when a number is not a byte.
std::optional<qsizetype> parseRegistryHex(QByteArrayView text, QByteArray &bytes);

// What "dword:" is followed by, read as strtoul(text, nullptr, 16) would and cut to 32 bits.
std::uint32_t parseRegistryDword(QByteArrayView text);

bool isRegistrySpace(char c);

// String data as wineserver keeps it: UTF-16 code units, little-endian.
QByteArray toUtf16LittleEndian(QStringView text);
// A trailing odd byte is left out.
QString fromUtf16LittleEndian(const QByteArray &data);

} // namespace quillory
