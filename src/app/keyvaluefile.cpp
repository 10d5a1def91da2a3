#include "app/keyvaluefile.h"

#include "platform/text/legacycodepage.h"
#include "platform/text/legacytext.h"

#include <QFile>

namespace quillory {

namespace {

Expected<KeyValueText> readKeyValueFile(const QString &filename)
{
    QFile file(filename);
    if (!file.open(QIODevice::ReadOnly))
        return Result::failure(
            QStringLiteral("Cannot read %1: %2").arg(filename, file.errorString()));
    // Read no further than the bound, whatever the file claims to be (a device has no size).
    const QByteArray bytes = file.read(maxKeyValueFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return Result::failure(
            QStringLiteral("Cannot read %1: %2").arg(filename, file.errorString()));
    if (bytes.size() > maxKeyValueFileSize)
        return Result::failure(QStringLiteral("Cannot read %1: it is larger than %2 bytes")
                                   .arg(filename)
                                   .arg(maxKeyValueFileSize));
    return KeyValueText::parse(bytes, filename);
}

} // namespace

Result SaveINI(const QString &KeyName, const QString &KeyValue, const QString &filename)
{
    QFile file(filename);
    // Key-value files are staged, and what is staged is its owner's alone.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append, QFile::ReadOwner | QFile::WriteOwner))
        return Result::failure(
            QStringLiteral("Cannot write %1: %2").arg(filename, file.errorString()));
    const QByteArray line = KeyName.toUtf8() + '=' + KeyValue.toUtf8() + "\r\n";
    if (file.write(line) != line.size() || !file.flush())
        return Result::failure(
            QStringLiteral("Cannot write %1: %2").arg(filename, file.errorString()));
    return Result::success();
}

// A file is the text of one writer, so it is decoded as a whole: one line that happens to be valid
// UTF-8 does not make a legacy file UTF-8.
Expected<KeyValueText> KeyValueText::parse(const QByteArray &bytes, const QString &filename)
{
    QList<QByteArray> lines;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        QByteArray raw = bytes.sliced(start, end - start);
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.isEmpty())
            break;
        lines.append(raw);
        start = next;
    }
    const std::optional<QString> text = decodeText(lines.join('\n'));
    if (!text)
        return Result::failure(
            QStringLiteral("Cannot read %1: its text is neither UTF-8 nor in code page %2")
                .arg(filename)
                .arg(legacyCodePage()));

    KeyValueText parsed;
    const QStringList decoded = text->split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < decoded.size() && i < lines.size(); ++i) {
        const QString &line = decoded.at(i);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = line.left(eq).toUpper();
        if (parsed.m_first.contains(key))
            continue;
        const QByteArray &raw = lines.at(i);
        parsed.m_first.insert(key, parsed.m_lines.size());
        parsed.m_lines.append({line.mid(eq + 1), raw.mid(raw.indexOf('=') + 1)});
    }
    return parsed;
}

QString KeyValueText::value(const QString &KeyName) const
{
    const auto found = m_first.constFind(KeyName.toUpper());
    return found == m_first.cend() ? QString() : m_lines.at(*found).value;
}

QByteArray KeyValueText::rawValue(const QString &KeyName) const
{
    const auto found = m_first.constFind(KeyName.toUpper());
    return found == m_first.cend() ? QByteArray() : m_lines.at(*found).raw;
}

Expected<QString> GetINI(const QString &KeyName, const QString &filename)
{
    const Expected<KeyValueText> text = readKeyValueFile(filename);
    if (!text)
        return text.result();
    return text->value(KeyName);
}

} // namespace quillory
