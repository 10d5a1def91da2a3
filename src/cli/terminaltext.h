#pragma once

#include <QString>
#include <QStringList>

namespace quillory {

// The program's texts break lines with CR LF, as the window shows them; a terminal wants LF.
inline QString terminalText(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// A run's report as --quiet prints it: without its completion heading and the lines of items
// that went well, so that only problems are left; the report's lines are already LF-separated.
inline QString problemLines(const QString &report, const QString &completedHeading)
{
    QStringList kept;
    for (const QString &line : report.split(QLatin1Char('\n')))
        if (!line.isEmpty() && line != completedHeading &&
            !line.endsWith(QLatin1String("\tSuccessed!")))
            kept.append(line);
    return kept.join(QLatin1Char('\n'));
}

} // namespace quillory
