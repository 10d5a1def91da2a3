#include "platform/zip/entrynames.h"

#include "platform/zip/extractionplan.h"

#include <QFile>

#include <algorithm>

namespace quillory::zipdetail {

namespace {

bool isSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

bool startsWithDriveLetter(const QString &name)
{
    return name.size() >= 2 && name.at(1) == QLatin1Char(':') && name.at(0).isLetter();
}

} // namespace

bool isArchiveName(const QString &entryName)
{
    return entryName.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive);
}

Expected<QStringList> relativeEntryPath(const QString &entryName)
{
    if (entryName.isEmpty())
        return Result::failure(QStringLiteral("it has no name"));
    if (isSeparator(entryName.front()))
        return Result::failure(QStringLiteral("it is an absolute path"));
    if (startsWithDriveLetter(entryName))
        return Result::failure(QStringLiteral("it starts with a drive letter"));

    QString path = entryName;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QStringList parts;
    for (const QString &part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".."))
            return Result::failure(QStringLiteral("it leads out of the folder with \"..\""));
        if (part != QLatin1String("."))
            parts.append(part);
    }
    return parts;
}

Result checkBareEntryName(const QString &entryName)
{
    if (entryName.isEmpty())
        return Result::failure(QStringLiteral("it has no name"));
    if (startsWithDriveLetter(entryName))
        return Result::failure(QStringLiteral("it starts with a drive letter"));
    if (std::any_of(entryName.begin(), entryName.end(), isSeparator) ||
        entryName == QLatin1String(".") || entryName == QLatin1String(".."))
        return Result::failure(QStringLiteral("it is not a plain file name"));
    if (QFile::encodeName(entryName).size() > maxNameBytes)
        return Result::failure(QStringLiteral("it is longer than %1 bytes").arg(maxNameBytes));
    return Result::success();
}

} // namespace quillory::zipdetail
