#include "regfilebuilder.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// Wine's own escaping: C escapes and octal below 0x20, UTF-16 code units as \x above 0x7f,
// with fixed widths where the next character would otherwise be read as part of the escape.
QByteArray escaped(const QString &text, const char *quoted)
{
    static const char controlEscapes[] = ".......abtnvfr.............e....";
    QByteArray out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const char16_t next = i + 1 < text.size() ? text.at(i + 1).unicode() : 0;
        if (c > 127) {
            const bool hexFollows = next < 128 && std::isxdigit(int(next));
            out += "\\x" + QByteArray::number(c, 16).rightJustified(hexFollows ? 4 : 0, '0');
        } else if (c < 32) {
            if (controlEscapes[c] != '.')
                out += '\\' + QByteArray(1, controlEscapes[c]);
            else if (next >= '0' && next <= '7')
                out += '\\' + QByteArray::number(c, 8).rightJustified(3, '0');
            else
                out += '\\' + QByteArray::number(c, 8);
        } else {
            if (c == '\\' || std::strchr(quoted, char(c)) != nullptr)
                out += '\\';
            out += char(c);
        }
    }
    return out;
}

// Names compare as wineserver sorts them: by their lower-case form.
int compareNames(const QString &a, const QString &b)
{
    return a.toLower().compare(b.toLower());
}

bool startsWithPath(const QStringList &path, const QStringList &prefix)
{
    return path.size() >= prefix.size() &&
           std::equal(prefix.cbegin(), prefix.cend(), path.cbegin(),
                      [](const QString &a, const QString &b) { return compareNames(a, b) == 0; });
}

QByteArray hexData(const QByteArray &prefix, const QByteArray &bytes, qsizetype column)
{
    QByteArray out = prefix;
    column += prefix.size();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out += QByteArray::number(quint8(bytes.at(i)), 16).rightJustified(2, '0');
        column += 2;
        if (i + 1 < bytes.size()) {
            out += ',';
            if (++column > 76) {
                out += "\\\n  ";
                column = 2;
            }
        }
    }
    return out;
}

QByteArray nameField(const QString &name)
{
    return name.isEmpty() ? QByteArray("@=") : '"' + escaped(name, "\"") + "\"=";
}

} // namespace

RegFileBuilder::RegFileBuilder(QString branchRoot) : m_branchRoot(std::move(branchRoot)) {}

RegFileBuilder::Key &RegFileBuilder::key(const QString &path)
{
    const QStringList components = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (Key &existing : m_keys)
        if (existing.components.size() == components.size() &&
            startsWithPath(existing.components, components))
            return existing;
    m_keys.append({components, {}});
    return m_keys.last();
}

void RegFileBuilder::add(const QString &keyPath, const QString &name, QByteArray data)
{
    auto &values = key(keyPath).values;
    const auto same = std::find_if(values.begin(), values.end(), [&](const auto &value) {
        return compareNames(value.first, name) == 0;
    });
    if (same != values.end())
        same->second = std::move(data);
    else
        values.append({name, std::move(data)});
}

void RegFileBuilder::addKey(const QString &keyPath)
{
    key(keyPath);
}

void RegFileBuilder::addString(const QString &keyPath, const QString &name, const QString &text)
{
    add(keyPath, name, '"' + escaped(text, "\"") + '"');
}

void RegFileBuilder::addExpandString(const QString &keyPath, const QString &name,
                                     const QString &text)
{
    add(keyPath, name, "str(2):\"" + escaped(text, "\"") + '"');
}

void RegFileBuilder::addMultiString(const QString &keyPath, const QString &name,
                                    const QStringList &items)
{
    QString joined;
    for (const QString &item : items)
        joined += item + QChar(0);
    add(keyPath, name, "str(7):\"" + escaped(joined, "\"") + '"');
}

void RegFileBuilder::addDword(const QString &keyPath, const QString &name, std::uint32_t number)
{
    add(keyPath, name, "dword:" + QByteArray::number(number, 16).rightJustified(8, '0'));
}

void RegFileBuilder::addQword(const QString &keyPath, const QString &name, std::uint64_t number)
{
    QByteArray bytes;
    for (int shift = 0; shift < 64; shift += 8)
        bytes += char((number >> shift) & 0xff);
    add(keyPath, name, hexData("hex(b):", bytes, nameField(name).size()));
}

void RegFileBuilder::addBinary(const QString &keyPath, const QString &name, const QByteArray &bytes)
{
    add(keyPath, name, hexData("hex:", bytes, nameField(name).size()));
}

QByteArray RegFileBuilder::text(std::int64_t writeTime) const
{
    QList<Key> keys = m_keys;
    // Tree order: a key, then its subkeys, siblings by name.
    std::sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
        for (qsizetype i = 0; i < std::min(a.components.size(), b.components.size()); ++i)
            if (const int order = compareNames(a.components.at(i), b.components.at(i)))
                return order < 0;
        return a.components.size() < b.components.size();
    });
    const auto hasSubkeys = [&](qsizetype index) {
        return index + 1 < keys.size() &&
               keys.at(index + 1).components.size() > keys.at(index).components.size() &&
               startsWithPath(keys.at(index + 1).components, keys.at(index).components);
    };
    const std::int64_t secondsFrom1601To1970 = 11644473600;
    const QByteArray stamp =
        ' ' + QByteArray::number(writeTime) +
        "\n#time=" + QByteArray::number((writeTime + secondsFrom1601To1970) * 10000000, 16) + '\n';

    QByteArray out = "WINE REGISTRY Version 2\n;; All keys relative to " +
                     escaped(m_branchRoot, "") + "\n\n#arch=win64\n";
    for (qsizetype i = 0; i < keys.size(); ++i) {
        Key key = keys.at(i);
        // wineserver leaves out a key that only holds subkeys.
        if (key.values.isEmpty() && hasSubkeys(i))
            continue;
        QByteArrayList path;
        for (const QString &component : key.components)
            path.append(escaped(component, "[]"));
        out += "\n[" + path.join("\\\\") + ']' + stamp;
        std::sort(key.values.begin(), key.values.end(),
                  [](const auto &a, const auto &b) { return compareNames(a.first, b.first) < 0; });
        for (const auto &[name, data] : key.values)
            out += nameField(name) + data + '\n';
    }
    return out;
}
