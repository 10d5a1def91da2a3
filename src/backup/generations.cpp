#include "backup/generations.h"

#include "platform/clock.h"
#include "platform/filereplacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <sys/stat.h>
#include <tuple>

namespace quillory {

namespace {

const QString datePattern = QStringLiteral("yyyy-MM-dd HHmm");
// A second copy within the same minute is named to the second, and one more within the same
// second gets a counter: a dated copy is never replaced by another.
const QString secondsPattern = QStringLiteral("yyyy-MM-dd HHmmss");

struct NameParts {
    QString stem;
    QString extension; // with its dot; empty when the name has none
};

NameParts partsOf(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return {fileName, QString()};
    return {fileName.left(dot), fileName.mid(dot)};
}

QString resolved(const QString &archivePath)
{
    return FileReplacement(archivePath).target();
}

} // namespace

QString generationPath(const QString &archivePath, const QDateTime &written)
{
    const QFileInfo archive(archivePath);
    const NameParts parts = partsOf(archive.fileName());
    return archive.dir().filePath(parts.stem + QLatin1Char(' ') + written.toString(datePattern) +
                                  parts.extension);
}

QStringList generationsOf(const QString &archivePath)
{
    const QFileInfo archive(resolved(archivePath));
    const NameParts parts = partsOf(archive.fileName());
    const QRegularExpression pattern(
        QLatin1Char('^') + QRegularExpression::escape(parts.stem) +
        QStringLiteral(" (\\d{4}-\\d{2}-\\d{2} \\d{4}(?:\\d{2})?)(?: \\(([1-9]\\d{0,5})\\))?") +
        QRegularExpression::escape(parts.extension) + QLatin1Char('$'));
    struct Dated {
        QString date;
        int counter;
        QString path;
        bool operator<(const Dated &other) const
        {
            return std::tie(date, counter) < std::tie(other.date, other.counter);
        }
    };
    QList<Dated> dated;
    const QDir folder = archive.dir();
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QRegularExpressionMatch match = pattern.match(name);
        const QFileInfo file(folder.filePath(name));
        if (!match.hasMatch() || !file.isFile() || file.isSymLink())
            continue;
        const QString date = match.captured(1);
        if (!QDateTime::fromString(date, date.size() == 15 ? datePattern : secondsPattern)
                 .isValid())
            continue;
        dated.append(
            {date, match.captured(2).isEmpty() ? 1 : match.captured(2).toInt(), file.filePath()});
    }
    std::sort(dated.begin(), dated.end());
    QStringList paths;
    for (const Dated &copy : dated)
        paths.append(copy.path);
    return paths;
}

QString previousGenerationPath(const QString &archivePath)
{
    const QFileInfo previous(resolved(archivePath));
    if (!previous.isFile())
        return QString();
    struct stat archive {};
    if (::stat(QFile::encodeName(previous.filePath()).constData(), &archive) != 0)
        return QString();
    const QDateTime written = previous.lastModified();
    const NameParts parts = partsOf(previous.fileName());
    const QString stem = previous.dir().filePath(parts.stem + QLatin1Char(' '));
    QStringList names = {stem + written.toString(datePattern) + parts.extension,
                         stem + written.toString(secondsPattern) + parts.extension};
    for (int counter = 2; counter <= maxKeptArchives + 1; ++counter)
        names.append(stem + written.toString(secondsPattern) +
                     QStringLiteral(" (%1)").arg(counter) + parts.extension);
    for (const QString &name : names) {
        struct stat taken {};
        if (::lstat(QFile::encodeName(name).constData(), &taken) != 0)
            return name;
        // Kept already, by a run that stopped after keeping it.
        if (taken.st_dev == archive.st_dev && taken.st_ino == archive.st_ino)
            return name;
    }
    return QString();
}

QStringList keepGenerations(const QString &archivePath, int keep)
{
    QStringList problems;
    const QString archive = resolved(archivePath);
    // The next run names this archive after the time it was written.
    if (clockIsSet()) {
        QFile written(archive);
        if (!written.open(QIODevice::ReadWrite) ||
            !written.setFileTime(clockNow(), QFileDevice::FileModificationTime))
            problems.append(QStringLiteral("The time of %1 could not be set: %2")
                                .arg(archive, written.errorString()));
    }
    const QStringList dated = generationsOf(archive);
    for (qsizetype i = 0; i + qMax(keep - 1, 0) < dated.size(); ++i) {
        QFile old(dated[i]);
        if (!old.remove())
            problems.append(QStringLiteral("The older archive %1 could not be removed: %2")
                                .arg(dated[i], old.errorString()));
    }
    return problems;
}

} // namespace quillory
