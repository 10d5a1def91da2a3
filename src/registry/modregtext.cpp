#include "platform/text/legacycodepage.h"
#include "platform/text/legacytext.h"
#include "registry/modreg.h"
#include "registry/registrytextline.h"

#include <QFile>

#include <algorithm>
#include <variant>
#include <vector>

namespace quillory {

namespace {

constexpr char lineEnd[] = "\r\n";

QByteArray keyLine(const QString &relativePath)
{
    return (relativePath.isEmpty() ? QByteArray("\\") : relativePath.toUtf8()) + lineEnd;
}

Result writeText(const QString &filePath, const QByteArray &text, QIODevice::OpenMode mode)
{
    QFile file(filePath);
    if (file.open(QIODevice::WriteOnly | mode)) {
        file.write(text);
        file.close();
    }
    if (file.error() != QFileDevice::NoError)
        return Result::failure(
            QStringLiteral("Cannot write %1: %2").arg(filePath, file.errorString()));
    return Result::success();
}

Result exportFailure(const QString &keyPath, const QString &filePath, const Result &reason)
{
    return Result::failure(
        QStringLiteral("Cannot export %1 to %2: %3").arg(keyPath, filePath, reason.message()));
}

} // namespace

Result modReg::ExportKeyTree(const QString &keyPath, const QString &relativePath,
                             const QString &filePath)
{
    QByteArray text;
    if (const std::optional<Key> key = keyFor(keyPath)) {
        const Result built = appendTree(*key, keyPath, relativePath, text);
        if (!built)
            return exportFailure(keyPath, filePath, built);
    } else {
        text = keyLine(relativePath);
    }
    // The top-level call starts the file afresh; a nested one adds its subtree.
    return writeText(filePath, text,
                     relativePath.isEmpty() ? QIODevice::Truncate : QIODevice::Append);
}

// Depth first, each key before its subkeys, from a work list rather than by recursion.
Result modReg::appendTree(const Key &key, const QString &keyPath, const QString &relativePath,
                          QByteArray &text) const
{
    struct Pending {
        Key key;
        QString keyPath;
        QString relativePath;
    };
    std::vector<Pending> pending{{key, keyPath, relativePath}};
    while (!pending.empty()) {
        const Pending current = std::move(pending.back());
        pending.pop_back();
        text += keyLine(current.relativePath);
        const Result values = appendValues(current.key, current.keyPath, text);
        if (!values)
            return values;
        const QStringList names = m_store.subkeys(current.key.root, current.key.path);
        for (const QString &name : names) {
            if (!fitsKeyLine(name))
                return Result::failure(
                    QStringLiteral(
                        "the name of the key \"%1\" below %2 cannot be written on one line")
                        .arg(name, current.keyPath));
        }
        const QString separator = QStringLiteral("\\");
        for (auto name = names.crbegin(); name != names.crend(); ++name)
            pending.push_back({{current.key.root, subkeyPath(current.key.path, *name)},
                               current.keyPath + separator + *name,
                               current.relativePath + separator + *name});
    }
    return Result::success();
}

Result modReg::appendValues(const Key &key, const QString &keyPath, QByteArray &text) const
{
    const std::optional<QList<RegistryValue>> values = m_store.values(key.root, key.path);
    if (!values)
        return Result::success();
    for (const RegistryValue &value : *values) {
        const Expected<QByteArray> line = formatValueLine(value);
        if (!line)
            return Result::failure(QStringLiteral("%1 (key %2)").arg(line.message(), keyPath));
        text += *line + lineEnd;
    }
    return Result::success();
}

Result modReg::ImportKeyFile(const QString &targetKeyPath, const QString &filePath)
{
    const std::optional<Key> target = keyFor(targetKeyPath);
    if (!target)
        return Result::failure(QStringLiteral("Cannot import %1: %2 names no known registry key")
                                   .arg(filePath, targetKeyPath));

    QFile file(filePath);
    // Read no further than the bound, whatever the file claims to be.
    const QByteArray bytes =
        file.open(QIODevice::ReadOnly) ? file.read(maxRegistryTextSize + 1) : QByteArray();
    if (file.error() != QFileDevice::NoError)
        return Result::failure(
            QStringLiteral("Cannot read %1: %2").arg(filePath, file.errorString()));
    if (bytes.size() > maxRegistryTextSize)
        return Result::failure(
            QStringLiteral("Cannot import %1: it is larger than %2 bytes, more than any export of "
                           "the mail client's settings")
                .arg(filePath)
                .arg(maxRegistryTextSize));
    // Files exported on Windows are in its ANSI code page; the lines are read as UTF-8.
    const std::optional<QByteArray> content = textAsUtf8(bytes);
    if (!content) {
        const QList<QByteArray> lines = bytes.split('\n');
        const auto bad = std::find_if(lines.begin(), lines.end(), [](const QByteArray &line) {
            return !fromCodePage(line, legacyCodePage());
        });
        return Result::failure(
            QStringLiteral("Cannot import %1 (line %2): the text is neither UTF-8 nor in code "
                           "page %3")
                .arg(filePath)
                .arg(bad - lines.begin() + 1)
                .arg(legacyCodePage()));
    }

    // The whole file is converted before the first change, so that a damaged file leaves the
    // registry as it was. A key step holds the key's path below the target.
    using Step = std::variant<QString, RegistryValue>;
    QList<Step> steps;
    qsizetype lineNumber = 0;
    // The line end before the current line, while a text value may go on in it.
    std::optional<QByteArray> textBreak;
    // Line by line through the text, without a copy of it cut into lines. The last line's end is
    // no line break of a text.
    for (qsizetype start = 0; start < content->size();) {
        qsizetype end = content->indexOf('\n', start);
        if (end < 0)
            end = content->size();
        QByteArray line = content->sliced(start, end - start);
        start = end + 1;
        ++lineNumber;
        const QByteArray lineEnd = line.endsWith('\r') ? "\r\n" : "\n";
        if (line.endsWith('\r'))
            line.chop(1);
        if (textBreak && !line.startsWith('\\') && !isValueLine(line)) {
            QByteArray &text = std::get<RegistryValue>(steps.last()).data;
            text.chop(1); // the terminating zero
            text += *textBreak + line + '\0';
            textBreak = lineEnd;
            continue;
        }
        textBreak.reset();
        if (line.isEmpty())
            break;
        const auto lineFailure = [&](const QString &reason) {
            return Result::failure(QStringLiteral("Cannot import %1 (line %2): %3")
                                       .arg(filePath, QString::number(lineNumber), reason));
        };
        if (line.startsWith('\\')) {
            const Expected<QString> path = parseKeyLine(line);
            if (!path)
                return lineFailure(path.message());
            steps.append(*path);
            continue;
        }
        const Expected<std::optional<RegistryValue>> value = parseValueLine(line);
        if (!value)
            return lineFailure(value.message());
        if (!*value)
            continue;
        if (steps.isEmpty())
            return lineFailure(QStringLiteral("a value comes before the first key line"));
        steps.append(**value);
        if (isContinuedText(line))
            textBreak = lineEnd;
    }

    const auto importFailure = [&](const Result &reason) {
        return Result::failure(QStringLiteral("Cannot import %1 into %2: %3")
                                   .arg(filePath, targetKeyPath, reason.message()));
    };
    const Result writable = m_store.checkWritable(target->root);
    if (!writable)
        return importFailure(writable);

    std::optional<QString> currentStep;
    QString currentKey;
    for (const Step &step : steps) {
        Result done;
        if (const QString *path = std::get_if<QString>(&step)) {
            if (currentStep == *path)
                continue;
            currentStep = *path;
            // The root's line replaces the whole target tree, as the file was made from one.
            if (path->isEmpty()) {
                currentKey = target->path;
                done = deleteTree(*target);
            } else {
                currentKey = subkeyPath(target->path, *path);
            }
            if (done)
                done = m_store.createKey(target->root, currentKey);
        } else {
            done = m_store.setValue(target->root, currentKey, std::get<RegistryValue>(step));
        }
        if (!done) {
            m_store.discard();
            return importFailure(done);
        }
    }
    const Result saved = m_store.save();
    if (!saved) {
        m_store.discard();
        return importFailure(saved);
    }
    return Result::success();
}

} // namespace quillory
