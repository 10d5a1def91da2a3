#include "platform/wine/wineregistryfile.h"

#include "platform/registrystore.h"
#include "platform/wine/wineregistrytext.h"

#include <QHash>
#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <functional>

namespace quillory {

namespace {

constexpr quint64 filetimeOfUnixEpoch = 116444736000000000ull;
constexpr quint64 filetimeTicksPerSecond = 10000000ull;

quint64 filetimeNow()
{
    using Ticks = std::chrono::duration<qint64, std::ratio<1, 10000000>>;
    const auto sinceEpoch =
        std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch());
    return filetimeOfUnixEpoch + quint64(sinceEpoch.count());
}

struct Line {
    qsizetype begin = 0;
    QByteArrayView text; // without its line end
};

std::vector<Line> splitLines(const QByteArray &text)
{
    std::vector<Line> lines;
    qsizetype begin = 0;
    while (begin < text.size()) {
        const qsizetype newline = text.indexOf('\n', begin);
        const qsizetype end = newline < 0 ? text.size() : newline;
        QByteArrayView content(text.constData() + begin, end - begin);
        if (content.endsWith('\r'))
            content.chop(1);
        // wineserver reads lines as C strings.
        if (const qsizetype nul = content.indexOf('\0'); nul >= 0)
            content.truncate(nul);
        lines.push_back({begin, content});
        begin = end + 1;
    }
    return lines;
}

QByteArrayView trimmedLeft(QByteArrayView text)
{
    while (!text.isEmpty() && isRegistrySpace(text.front()))
        text = text.sliced(1);
    return text;
}

// "[path] seconds": the seconds count when no "#time" line follows. No key when wineserver
// could not read the header either; fails for a key deeper than the registry allows.
Expected<WineRegistryKey *> loadKeyHeader(WineRegistryKey &root, QByteArrayView afterBracket)
{
    const auto path = parseRegistryString(afterBracket, ']');
    if (!path || path->text.startsWith(QLatin1Char('\\')))
        return nullptr;
    const QStringList names = path->text.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (names.size() > maxKeyDepth)
        return Result::failure(
            QStringLiteral("it holds a key nested %1 levels deep, deeper than the %2 levels the "
                           "registry allows")
                .arg(names.size())
                .arg(maxKeyDepth));
    WineRegistryKey *key = &root;
    for (const QString &name : names) {
        bool created = false;
        key = key->ensureSubkey(name, created);
    }
    const QByteArrayView rest = trimmedLeft(afterBracket.sliced(path->consumed));
    qsizetype digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9')
        ++digits;
    bool ok = false;
    const quint32 seconds = rest.first(digits).toByteArray().toUInt(&ok);
    key->setModified(ok ? filetimeOfUnixEpoch + seconds * filetimeTicksPerSecond : filetimeNow());
    return key;
}

void loadKeyOption(WineRegistryKey &key, QByteArrayView line)
{
    if (line.startsWith("#time=")) {
        quint64 time = 0;
        for (const char c : line.sliced(6)) {
            const char lower = char(c | 0x20);
            if (c >= '0' && c <= '9')
                time = (time << 4) | quint64(c - '0');
            else if (lower >= 'a' && lower <= 'f')
                time = (time << 4) | quint64(lower - 'a' + 10);
            else
                break;
        }
        key.setModified(time);
    } else if (line.startsWith("#class=\"")) {
        if (const auto keyClass = parseRegistryString(line.sliced(8), '"'))
            key.setKeyClass(keyClass->text);
    } else if (line.startsWith("#link")) {
        key.setLink();
    }
}

struct DataTag {
    const char *text;
    std::uint32_t type; // 0 for "hex(": the type follows
    enum { String, Dword, Hex } form;
};

constexpr DataTag dataTags[] = {
    {"\"", RegType::Sz, DataTag::String},
    {"str:\"", RegType::Sz, DataTag::String},
    {"str(2):\"", RegType::ExpandSz, DataTag::String},
    {"str(7):\"", RegType::MultiSz, DataTag::String},
    {"hex:", RegType::Binary, DataTag::Hex},
    {"dword:", RegType::Dword, DataTag::Dword},
    {"hex(", 0, DataTag::Hex},
};

// Reads a value's data; hex data may go on over the following lines, and `index` is left at
// the last line read.
bool loadValueData(QByteArrayView data, const std::vector<Line> &lines, qsizetype &index,
                   std::uint32_t &type, QByteArray &bytes)
{
    for (const DataTag &tag : dataTags) {
        if (!data.startsWith(tag.text))
            continue;
        QByteArrayView rest = data.sliced(qstrlen(tag.text));
        type = tag.type;
        if (tag.type == 0) {
            const qsizetype close = rest.indexOf("):");
            if (close < 0)
                return false;
            bool ok = false;
            type = rest.first(close).toByteArray().toUInt(&ok, 16);
            if (!ok)
                return false;
            rest = rest.sliced(close + 2);
        }
        switch (tag.form) {
        case DataTag::String: {
            const auto text = parseRegistryString(rest, '"');
            if (!text)
                return false;
            bytes = toUtf16LittleEndian(text->text) + QByteArray(2, '\0');
            return true;
        }
        case DataTag::Dword:
            bytes = QByteArray(4, Qt::Uninitialized);
            qToLittleEndian<quint32>(parseRegistryDword(rest), bytes.data());
            return true;
        case DataTag::Hex:
            for (;;) {
                const auto used = parseRegistryHex(rest, bytes);
                if (!used)
                    return false;
                rest = trimmedLeft(rest.sliced(*used));
                if (rest.isEmpty())
                    return true;
                if (rest.front() != '\\' || index + 1 >= qsizetype(lines.size()))
                    return false;
                rest = trimmedLeft(lines[++index].text);
            }
        }
    }
    return false;
}

// A value line; like wineserver, data it cannot read leaves the value empty, of type REG_NONE.
void loadValue(WineRegistryKey &key, QByteArrayView line, const std::vector<Line> &lines,
               qsizetype &index)
{
    QString name;
    qsizetype pos = 1;
    if (line.front() == '"') {
        const auto parsed = parseRegistryString(line.sliced(1), '"');
        if (!parsed)
            return;
        name = parsed->text;
        pos += parsed->consumed;
    }
    while (pos < line.size() && isRegistrySpace(line[pos]))
        ++pos;
    if (pos == line.size() || line[pos] != '=')
        return;
    std::uint32_t type = RegType::None;
    QByteArray bytes;
    if (!loadValueData(trimmedLeft(line.sliced(pos + 1)), lines, index, type, bytes)) {
        type = RegType::None;
        bytes.clear();
    }
    key.setValue(name, type, bytes);
}

QByteArray keyPathText(const WineRegistryKey &key)
{
    QByteArrayList components;
    for (const QString &name : key.path())
        components.append(escapeRegistryString(name, "[]"));
    return components.join("\\\\");
}

// wineserver leaves out a key that has subkeys and nothing of its own: loading its subkeys
// brings it back.
bool needsSection(const WineRegistryKey &key)
{
    return !key.values().empty() || key.subkeys().empty() || key.keyClass() || key.isLink();
}

// Depth first, each key before its subkeys, without recursion: how deep a tree goes is up to
// the files read.
void forEachKey(const WineRegistryKey &root,
                const std::function<void(const WineRegistryKey &)> &visit)
{
    std::vector<const WineRegistryKey *> pending{&root};
    while (!pending.empty()) {
        const WineRegistryKey *key = pending.back();
        pending.pop_back();
        visit(*key);
        for (auto subkey = key->subkeys().crbegin(); subkey != key->subkeys().crend(); ++subkey)
            pending.push_back(subkey->second.get());
    }
}

} // namespace

WineRegistryFile::WineRegistryFile() : m_root(std::make_unique<WineRegistryKey>(QString(), nullptr))
{
}

WineRegistryFile::WineRegistryFile(WineRegistryFile &&) noexcept = default;
WineRegistryFile &WineRegistryFile::operator=(WineRegistryFile &&) noexcept = default;
WineRegistryFile::~WineRegistryFile() = default;

Expected<WineRegistryFile> WineRegistryFile::parse(const QByteArray &text)
{
    const std::vector<Line> lines = splitLines(text);
    if (lines.empty() || lines.front().text != QByteArrayView("WINE REGISTRY Version 2"))
        return Result::failure(QStringLiteral("its first line is not \"WINE REGISTRY Version 2\""));

    WineRegistryFile file;
    file.m_original = text;
    struct Header {
        qsizetype firstLine; // the blank lines before the header line belong to its section
        WineRegistryKey *key;
    };
    std::vector<Header> headers;
    WineRegistryKey *current = nullptr;
    qsizetype settled = 1; // lines before this one stay with what was read before
    for (qsizetype i = 1; i < qsizetype(lines.size()); ++i) {
        const QByteArrayView line = trimmedLeft(lines[i].text);
        if (line.isEmpty())
            continue;
        switch (line.front()) {
        case '[': {
            qsizetype first = i;
            while (first > settled && trimmedLeft(lines[first - 1].text).isEmpty())
                --first;
            const Expected<WineRegistryKey *> header = loadKeyHeader(*file.m_root, line.sliced(1));
            if (!header)
                return Result::failure(
                    QStringLiteral("%1 (line %2)").arg(header.message()).arg(i + 1));
            current = *header;
            headers.push_back({first, current});
            settled = i + 1;
            break;
        }
        case '@':
        case '"':
            if (current) {
                loadValue(*current, line, lines, i);
                settled = i + 1;
            }
            break;
        case '#':
            if (current)
                loadKeyOption(*current, line);
            else if (line.startsWith("#arch=") && line.sliced(6) != QByteArrayView("win32") &&
                     line.sliced(6) != QByteArrayView("win64"))
                return Result::failure(QStringLiteral("it names an unknown architecture"));
            break;
        default: // comments, and lines wineserver skips as unrecognised
            break;
        }
    }

    const auto offsetOf = [&](std::size_t header) {
        return header < headers.size() ? lines[headers[header].firstLine].begin : text.size();
    };
    file.m_preamble = text.first(offsetOf(0));
    for (std::size_t h = 0; h < headers.size(); ++h)
        file.m_sections.push_back(
            {text.sliced(offsetOf(h), offsetOf(h + 1) - offsetOf(h)), headers[h].key});
    return file;
}

WineRegistryFile WineRegistryFile::create(const QByteArray &branchRoot, const QByteArray &arch)
{
    WineRegistryFile file;
    file.m_preamble = "WINE REGISTRY Version 2\n;; All keys relative to " + branchRoot +
                      "\n\n#arch=" + arch + '\n';
    file.m_original = file.m_preamble;
    return file;
}

WineRegistryKey *WineRegistryFile::key(const QStringList &path) const
{
    WineRegistryKey *key = m_root.get();
    for (const QString &name : path) {
        key = key->subkey(name);
        if (!key)
            return nullptr;
    }
    return key;
}

void WineRegistryFile::touch(WineRegistryKey &key)
{
    key.setModified(filetimeNow());
    key.setChanged();
    m_changed = true;
}

WineRegistryKey &WineRegistryFile::createKey(const QStringList &path)
{
    WineRegistryKey *key = m_root.get();
    for (const QString &name : path) {
        bool created = false;
        WineRegistryKey *subkey = key->ensureSubkey(name, created);
        if (created) {
            touch(*key);
            touch(*subkey);
        }
        key = subkey;
    }
    return *key;
}

void WineRegistryFile::setValue(WineRegistryKey &key, const QString &name, std::uint32_t type,
                                const QByteArray &data)
{
    if (key.setValue(name, type, data))
        touch(key);
}

void WineRegistryFile::deleteKey(WineRegistryKey &key)
{
    WineRegistryKey &parent = *key.parent();
    std::unique_ptr<WineRegistryKey> removed = parent.takeSubkey(&key);
    removed->setRemoved();
    m_removed.push_back(std::move(removed));
    touch(parent);
}

QByteArray WineRegistryFile::sectionText(const WineRegistryKey &key)
{
    const quint64 time = key.modified();
    const quint32 seconds = quint32((time - filetimeOfUnixEpoch) / filetimeTicksPerSecond);
    QByteArray text = "\n[" + keyPathText(key) + "] " + QByteArray::number(seconds) +
                      "\n#time=" + QByteArray::number(quint32(time >> 32), 16) +
                      QByteArray::number(quint32(time), 16).rightJustified(8, '0') + '\n';
    if (key.keyClass())
        text += "#class=\"" + escapeRegistryString(*key.keyClass(), "\"") + "\"\n";
    if (key.isLink())
        text += "#link\n";
    for (const auto &[name, value] : key.values())
        text += registryValueText(value.name, value.type, value.data);
    return text;
}

QByteArray WineRegistryFile::text() const
{
    if (!m_changed)
        return m_original;

    QHash<const WineRegistryKey *, int> rank; // position in wineserver's order
    forEachKey(*m_root, [&](const WineRegistryKey &key) { rank.insert(&key, int(rank.size())); });

    // The sections in file order: unchanged keys as read, a changed key once where it was.
    struct Piece {
        const WineRegistryKey *key;
        QByteArray text;
    };
    std::vector<Piece> pieces;
    QSet<const WineRegistryKey *> placed;
    for (const Section &section : m_sections) {
        const WineRegistryKey *key = section.key;
        if (key && key->isRemoved())
            continue;
        if (!key || !key->isChanged()) {
            pieces.push_back({key, section.text});
        } else if (!placed.contains(key) && needsSection(*key)) {
            pieces.push_back({key, sectionText(*key)});
        }
        if (key)
            placed.insert(key);
    }

    // A new section goes after the placed one that comes last before it in wineserver's order.
    std::vector<std::pair<int, std::size_t>> anchors;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        if (pieces[i].key)
            anchors.emplace_back(rank.value(pieces[i].key), i + 1);
    std::sort(anchors.begin(), anchors.end());
    std::vector<std::vector<const WineRegistryKey *>> newAfter(pieces.size() + 1);
    forEachKey(*m_root, [&](const WineRegistryKey &key) {
        if (placed.contains(&key) || !needsSection(key))
            return;
        const auto next = std::lower_bound(anchors.begin(), anchors.end(),
                                           std::make_pair(rank.value(&key), std::size_t(0)));
        newAfter[next == anchors.begin() ? 0 : std::prev(next)->second].push_back(&key);
    });

    QByteArray out = m_preamble;
    const auto append = [&out](const QByteArray &text) {
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += '\n';
        out += text;
    };
    for (std::size_t i = 0; i <= pieces.size(); ++i) {
        if (i > 0)
            append(pieces[i - 1].text);
        for (const WineRegistryKey *key : newAfter[i])
            append(sectionText(*key));
    }
    return out;
}

} // namespace quillory
