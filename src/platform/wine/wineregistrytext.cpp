#include "platform/wine/wineregistrytext.h"

#include "platform/registrystore.h"

#include <QtEndian>

#include <algorithm>
#include <limits>

namespace quillory {

namespace {

bool isHexDigit(char16_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

bool isOctalDigit(char16_t c)
{
    return c >= '0' && c <= '7';
}

void appendCodePoint(QString &out, char32_t cp)
{
    if (QChar::requiresSurrogates(cp)) {
        out += QChar(QChar::highSurrogate(cp));
        out += QChar(QChar::lowSurrogate(cp));
    } else {
        out += QChar(char16_t(cp));
    }
}

// Like wineserver, a byte that does not start a valid UTF-8 sequence is dropped, together with
// the continuation bytes read before the sequence broke off.
void appendUtf8Character(QByteArrayView text, qsizetype &i, QString &out)
{
    const uchar lead = uchar(text[i++]);
    if (lead < 0x80) {
        out += QChar(char16_t(lead));
        return;
    }
    int more = 0;
    char32_t cp = 0;
    char32_t smallest = 0;
    if (lead >= 0xc0 && lead < 0xe0) {
        more = 1, cp = lead & 0x1f, smallest = 0x80;
    } else if (lead >= 0xe0 && lead < 0xf0) {
        more = 2, cp = lead & 0x0f, smallest = 0x800;
    } else if (lead >= 0xf0 && lead < 0xf8) {
        more = 3, cp = lead & 0x07, smallest = 0x10000;
    } else {
        return;
    }
    for (; more > 0; --more) {
        if (i == text.size() || (uchar(text[i]) & 0xc0) != 0x80)
            return;
        cp = (cp << 6) | (uchar(text[i++]) & 0x3f);
    }
    if (cp >= smallest && cp <= 0x10ffff)
        appendCodePoint(out, cp);
}

// The control characters 0x07 to 0x0d and 0x1b have letter escapes.
constexpr char controlLetters[] = "abtnvfr";

char letterForControl(char16_t c)
{
    if (c == 0x1b)
        return 'e';
    return c >= 0x07 && c <= 0x0d ? controlLetters[c - 0x07] : 0;
}

char16_t controlForLetter(char letter)
{
    if (letter == 'e')
        return 0x1b;
    for (int i = 0; controlLetters[i]; ++i)
        if (controlLetters[i] == letter)
            return char16_t(0x07 + i);
    return 0;
}

bool isStringType(std::uint32_t type)
{
    return type == RegType::Sz || type == RegType::ExpandSz || type == RegType::MultiSz;
}

} // namespace

QByteArray toUtf16LittleEndian(QStringView text)
{
    QByteArray data(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        qToLittleEndian<quint16>(text[i].unicode(), data.data() + 2 * i);
    return data;
}

QString fromUtf16LittleEndian(const QByteArray &data)
{
    QString text(data.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(qFromLittleEndian<quint16>(data.constData() + 2 * i));
    return text;
}

bool isRegistrySpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::optional<RegistryStringParse> parseRegistryString(QByteArrayView text, char end)
{
    QString out;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text[i] != end) {
        if (text[i] == '\\') {
            if (++i == n)
                return std::nullopt;
            const char c = text[i];
            if (const char16_t control = controlForLetter(c)) {
                out += QChar(control);
                ++i;
                continue;
            }
            if (c == 'x') {
                ++i;
                if (i == n || !isHexDigit(text[i])) {
                    out += QLatin1Char('x');
                    continue;
                }
                char16_t unit = 0;
                for (int digits = 0; digits < 4 && i < n && isHexDigit(text[i]); ++digits, ++i)
                    unit = char16_t(unit * 16 + hexValue(text[i]));
                out += QChar(unit);
                continue;
            }
            if (isOctalDigit(c)) {
                char16_t unit = 0;
                for (int digits = 0; digits < 3 && i < n && isOctalDigit(text[i]); ++digits, ++i)
                    unit = char16_t(unit * 8 + (text[i] - '0'));
                out += QChar(unit);
                continue;
            }
            // Any other escaped character stands for itself, the end character included.
        }
        appendUtf8Character(text, i, out);
    }
    if (i == n)
        return std::nullopt;
    return RegistryStringParse{out, i + 1};
}

QByteArray escapeRegistryString(QStringView text, QByteArrayView quoted)
{
    QByteArray out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool hasNext = i + 1 < text.size();
        const char16_t next = hasNext ? text[i + 1].unicode() : 0;
        if (c > 0x7f) {
            // A following hex digit would be read as part of the escape.
            const bool pad = hasNext && next < 0x80 && isHexDigit(next);
            out += "\\x" + QByteArray::number(c, 16).rightJustified(pad ? 4 : 0, '0');
        } else if (c < 0x20) {
            if (const char letter = letterForControl(c)) {
                out += '\\';
                out += letter;
            } else {
                const bool pad = hasNext && isOctalDigit(next);
                out += '\\' + QByteArray::number(c, 8).rightJustified(pad ? 3 : 0, '0');
            }
        } else {
            if (c == '\\' || quoted.contains(char(c)))
                out += '\\';
            out += char(c);
        }
    }
    return out;
}

int compareRegistryNames(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const int d = int(a[i].toLower().unicode()) - int(b[i].toLower().unicode());
        if (d != 0)
            return d;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

QByteArray registryValueText(const QString &name, std::uint32_t type, const QByteArray &data)
{
    QByteArray line =
        name.isEmpty() ? QByteArray("@=") : '"' + escapeRegistryString(name, "\"") + "\"=";
    if (isStringType(type) && data.size() >= 2 && data.size() % 2 == 0 &&
        qFromLittleEndian<quint16>(data.constData() + data.size() - 2) == 0) {
        if (type != RegType::Sz)
            line += "str(" + QByteArray::number(type, 16) + "):";
        // The terminating zero is implied.
        return line + '"' + escapeRegistryString(fromUtf16LittleEndian(data).chopped(1), "\"") +
               "\"\n";
    }
    if (type == RegType::Dword && data.size() == 4) {
        return line + "dword:" +
               QByteArray::number(qFromLittleEndian<quint32>(data.constData()), 16)
                   .rightJustified(8, '0') +
               '\n';
    }
    line +=
        type == RegType::Binary ? QByteArray("hex:") : "hex(" + QByteArray::number(type, 16) + "):";
    // wineserver breaks the line once it has grown past 76 characters.
    qsizetype width = line.size();
    for (qsizetype i = 0; i < data.size(); ++i) {
        line += QByteArray::number(uchar(data[i]), 16).rightJustified(2, '0');
        width += 2;
        if (i + 1 < data.size()) {
            line += ',';
            if (++width > 76) {
                line += "\\\n  ";
                width = 2;
            }
        }
    }
    return line + '\n';
}

std::optional<qsizetype> parseRegistryHex(QByteArrayView text, QByteArray &bytes)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto skipSpaces = [&] {
        while (i < n && isRegistrySpace(text[i]))
            ++i;
    };
    while (i < n && isHexDigit(text[i])) {
        if (text[i] == '0' && i + 2 < n && (text[i + 1] | 0x20) == 'x' && isHexDigit(text[i + 2]))
            i += 2;
        unsigned value = 0;
        for (; i < n && isHexDigit(text[i]); ++i) {
            value = value * 16 + unsigned(hexValue(text[i]));
            if (value > 0xff)
                return std::nullopt;
        }
        bytes += char(value);
        skipSpaces();
        if (i < n && text[i] == ',')
            ++i;
        skipSpaces();
    }
    return i;
}

std::uint32_t parseRegistryDword(QByteArrayView text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && isRegistrySpace(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i + 2 < n && text[i] == '0' && (text[i + 1] | 0x20) == 'x' && isHexDigit(text[i + 2]))
        i += 2;
    quint64 value = 0;
    bool overflow = false;
    for (; i < n && isHexDigit(text[i]); ++i) {
        overflow = overflow || value > (std::numeric_limits<quint64>::max() >> 4);
        value = value * 16 + quint64(hexValue(text[i]));
    }
    if (overflow)
        value = std::numeric_limits<quint64>::max();
    else if (negative)
        value = 0 - value;
    return std::uint32_t(value);
}

} // namespace quillory
