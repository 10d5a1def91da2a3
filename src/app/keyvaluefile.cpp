#include "app/keyvaluefile.h"

#include "platform/text/legacycodepage.h"
#include "platform/text/legacytext.h"

#include <QFile>

namespace quillory {

namespace {

struct FoundValue {
    QByteArray raw;
    QString text;
};

// Reads the lines before the first empty one. A file is the text of one writer, so it is decoded
// as a whole: one line that happens to be valid UTF-8 does not make a legacy file UTF-8.
Expected<std::optional<FoundValue>> lookUp(const QString &KeyName, const QString &filename)
{
    QFile file(filename);
    if (!file.open(QIODevice::ReadOnly))
        return Result::failure(
            QStringLiteral("Cannot read %1: %2").arg(filename, file.errorString()));
    QList<QByteArray> lines;
    while (!file.atEnd()) {
        QByteArray raw = file.readLine();
        if (raw.endsWith('\n'))
            raw.chop(1);
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.isEmpty())
            break;
        lines.append(raw);
    }
    if (file.error() != QFileDevice::NoError)
        return Result::failure(
            QStringLiteral("Cannot read %1: %2").arg(filename, file.errorString()));
    const std::optional<QString> text = decodeText(lines.join('\n'));
    if (!text)
        return Result::failure(
            QStringLiteral("Cannot read %1: its text is neither UTF-8 nor in code page %2")
                .arg(filename)
                .arg(legacyCodePage()));

    const QStringList decoded = text->split(QLatin1Char('\n'));
    const QString wanted = KeyName.toUpper();
    for (qsizetype i = 0; i < decoded.size() && i < lines.size(); ++i) {
        const QString &line = decoded.at(i);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0 || line.left(eq).toUpper() != wanted)
            continue;
        const QByteArray &raw = lines.at(i);
        return std::optional<FoundValue>(
            FoundValue{raw.mid(raw.indexOf('=') + 1), line.mid(eq + 1)});
    }
    return std::optional<FoundValue>();
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

Expected<QString> GetINI(const QString &KeyName, const QString &filename)
{
    const Expected<std::optional<FoundValue>> found = lookUp(KeyName, filename);
    if (!found)
        return found.result();
    return *found ? (*found)->text : QString();
}

Expected<QByteArray> GetINIBytes(const QString &KeyName, const QString &filename)
{
    const Expected<std::optional<FoundValue>> found = lookUp(KeyName, filename);
    if (!found)
        return found.result();
    return *found ? (*found)->raw : QByteArray();
}

} // namespace quillory
