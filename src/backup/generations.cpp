#include "backup/generations.h"

#include "platform/clock.h"
#include "platform/filereplacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace quillory {

namespace {

const QString datePattern = QStringLiteral("yyyy-MM-dd HHmm");

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
    const QRegularExpression pattern(QLatin1Char('^') + QRegularExpression::escape(parts.stem) +
                                     QStringLiteral(" (\\d{4}-\\d{2}-\\d{2} \\d{4})") +
                                     QRegularExpression::escape(parts.extension) +
                                     QLatin1Char('$'));
    QList<std::pair<QString, QString>> dated;
    const QDir folder = archive.dir();
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QRegularExpressionMatch match = pattern.match(name);
        const QFileInfo file(folder.filePath(name));
        if (match.hasMatch() && file.isFile() && !file.isSymLink() &&
            QDateTime::fromString(match.captured(1), datePattern).isValid())
            dated.append({match.captured(1), file.filePath()});
    }
    std::sort(dated.begin(), dated.end());
    QStringList paths;
    for (const auto &[date, path] : dated)
        paths.append(path);
    return paths;
}

QString previousGenerationPath(const QString &archivePath)
{
    const QFileInfo previous(resolved(archivePath));
    if (!previous.isFile())
        return QString();
    return generationPath(previous.filePath(), previous.lastModified());
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
