#include "restore/listednames.h"

#include "platform/zip/ziparchive.h"

#include <QStringList>

namespace quillory {

QString matchListedNames(const ZipArchive &archive, const QByteArray &raw, const QString &text,
                         bool oneName)
{
    const QList<QByteArray> rawNames = oneName ? QList<QByteArray>{raw} : raw.split(';');
    QStringList names = oneName ? QStringList{text} : text.split(QLatin1Char(';'));
    // ";" is never part of a character in an ANSI code page, so both split alike; should they
    // not, the decoded names are all there is.
    if (rawNames.size() != names.size())
        return text;
    for (qsizetype i = 0; i < names.size(); ++i)
        if (const std::optional<QString> entry =
                archive.entryNamedByBytes(rawNames.at(i).trimmed()))
            names[i] = *entry;
    return names.join(QLatin1Char(';'));
}

} // namespace quillory
