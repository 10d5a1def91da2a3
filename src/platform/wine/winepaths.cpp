#include "platform/wine/winepaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

namespace quillory {

namespace {

bool isSeparator(QChar c)
{
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}

bool startsWithWord(const QString &path, QLatin1String word)
{
    return path.startsWith(word, Qt::CaseInsensitive) &&
           (path.size() == word.size() || isSeparator(path.at(word.size())));
}

QStringList splitOnSeparators(QStringView path)
{
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i == path.size() || isSeparator(path.at(i))) {
            if (i > start)
                parts.append(path.mid(start, i - start).toString());
            start = i + 1;
        }
    }
    return parts;
}

// Resolves "." and ".." without looking at the disk, never above the root. Windows ignores
// trailing dots and spaces in a name ("x. " is "x"), the host does not.
QStringList lexicalComponents(const QStringList &parts, bool windowsNames)
{
    QStringList components;
    for (QString part : parts) {
        if (part == QLatin1String("..")) {
            if (!components.isEmpty())
                components.removeLast();
            continue;
        }
        if (windowsNames) {
            qsizetype end = part.size();
            while (end > 0 &&
                   (part.at(end - 1) == QLatin1Char('.') || part.at(end - 1) == QLatin1Char(' ')))
                --end;
            part.truncate(end);
        }
        if (!part.isEmpty() && part != QLatin1String("."))
            components.append(part);
    }
    return components;
}

bool entryExists(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// How `name` is spelled inside `folder`: the exact name when it exists, else the first entry
// in directory order that equals it without regard to case, which is the entry Wine opens.
std::optional<QString> spellingOnDisk(const QString &folder, const QString &name)
{
    if (entryExists(folder + QLatin1Char('/') + name))
        return name;
    const std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(QFile::encodeName(folder).constData()),
                                                   ::closedir);
    if (!dir)
        return std::nullopt;
    while (const dirent *entry = ::readdir(dir.get())) {
        const QString candidate = QFile::decodeName(entry->d_name);
        // A name that is not valid UTF-8 would not lead back to the same entry.
        if (QFile::encodeName(candidate) != entry->d_name)
            continue;
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return std::nullopt;
}

// Below the first name that does not exist there is nothing to match against.
QString appendMatched(QString host, const QStringList &components)
{
    bool onDisk = true;
    for (const QString &name : components) {
        const std::optional<QString> spelled =
            onDisk ? spellingOnDisk(host, name) : std::optional<QString>();
        onDisk = spelled.has_value();
        host += QLatin1Char('/') + spelled.value_or(name);
    }
    return host;
}

bool isDriveLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

} // namespace

WinePaths::WinePaths(QString prefixPath) : m_prefix(QDir(prefixPath).absolutePath()) {}

std::optional<QString> WinePaths::toHostPath(const QString &windowsPath,
                                             const Variables &variables) const
{
    QString path = expandVariables(windowsPath, variables);
    if (path.contains(QChar(0)))
        return std::nullopt;

    bool verbatim = false;
    if (path.startsWith(QLatin1String("\\\\?\\")) || path.startsWith(QLatin1String("\\??\\"))) {
        path.remove(0, 4);
        verbatim = true;
    }
    if (verbatim && startsWithWord(path, QLatin1String("unix")))
        return QLatin1Char('/') +
               lexicalComponents(splitOnSeparators(path).mid(1), false).join(QLatin1Char('/'));
    if (verbatim && startsWithWord(path, QLatin1String("unc")))
        path.replace(0, 3, QLatin1String("\\"));

    const QString dosdevices = m_prefix + QLatin1String("/dosdevices/");
    if (path.size() >= 2 && isDriveLetter(path.at(0)) && path.at(1) == QLatin1Char(':')) {
        // "C:name" is relative to a current folder on that drive, and there is none here.
        if (path.size() > 2 && !isSeparator(path.at(2)))
            return std::nullopt;
        const QString drive = dosdevices + path.at(0).toLower() + QLatin1Char(':');
        if (!entryExists(drive))
            return std::nullopt;
        return appendMatched(drive, lexicalComponents(splitOnSeparators(path).mid(1), true));
    }

    if (path.size() >= 2 && isSeparator(path.at(0)) && isSeparator(path.at(1))) {
        // Server and share form the root, which ".." cannot leave; "\\.\" names a device.
        const QStringList parts = splitOnSeparators(path);
        if (parts.size() < 2)
            return std::nullopt;
        for (const QString &rootPart : parts.mid(0, 2))
            if (rootPart == QLatin1String(".") || rootPart == QLatin1String("..") ||
                rootPart == QLatin1String("?"))
                return std::nullopt;
        const std::optional<QString> server =
            spellingOnDisk(dosdevices + QLatin1String("unc"), parts.at(0));
        if (!server)
            return std::nullopt;
        const QString serverFolder = dosdevices + QLatin1String("unc/") + *server;
        const std::optional<QString> share = spellingOnDisk(serverFolder, parts.at(1));
        if (!share)
            return std::nullopt;
        return appendMatched(serverFolder + QLatin1Char('/') + *share,
                             lexicalComponents(parts.mid(2), true));
    }
    return std::nullopt;
}

std::optional<QString> WinePaths::toCanonicalHostPath(const QString &windowsPath,
                                                      const Variables &variables) const
{
    const std::optional<QString> host = toHostPath(windowsPath, variables);
    if (!host)
        return std::nullopt;
    const QString canonical = QFileInfo(*host).canonicalFilePath();
    if (canonical.isEmpty())
        return std::nullopt;
    return canonical;
}

// Follows Wine's expansion: an unknown %NAME% is copied whole and scanning goes on after it.
QString WinePaths::expandVariables(const QString &text, const Variables &variables)
{
    const auto lookUp = [&](QStringView name) -> std::optional<QString> {
        for (auto it = variables.cbegin(); it != variables.cend(); ++it)
            if (!name.isEmpty() && name.compare(it.key(), Qt::CaseInsensitive) == 0)
                return it.value();
        return std::nullopt;
    };
    QString expanded;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype open = text.indexOf(QLatin1Char('%'), pos);
        const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('%'), open + 1);
        if (close < 0) {
            expanded += QStringView(text).mid(pos);
            break;
        }
        expanded += QStringView(text).mid(pos, open - pos);
        const std::optional<QString> value =
            lookUp(QStringView(text).mid(open + 1, close - open - 1));
        expanded += value ? QStringView(*value) : QStringView(text).mid(open, close - open + 1);
        pos = close + 1;
    }
    return expanded;
}

} // namespace quillory
