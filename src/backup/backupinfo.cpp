#include "backup/backupinfo.h"

#include "app/keyvaluefile.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

namespace quillory {

namespace {

const QString lineBreakMark = QStringLiteral("PS$KRV");

// The locale's long time format without its time-zone field, and without what only framed it:
// the brackets around it and the blank or comma before it ("H:mm:ss (t)" becomes "H:mm:ss").
// Quoted text is the locale's own words and stays as it is.
QString timeFormatWithoutZone(const QLocale &locale)
{
    static const QRegularExpression zone(QStringLiteral("[\\s,]*[(\\[]?t+[)\\]]?"));
    QStringList parts = locale.timeFormat(QLocale::LongFormat).split(QLatin1Char('\''));
    for (qsizetype i = 0; i < parts.size(); i += 2)
        parts[i].remove(zone);
    return parts.join(QLatin1Char('\'')).trimmed();
}

} // namespace

QString encodeDescription(const QString &description)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QString text = description;
    return text.replace(lineBreak, lineBreakMark);
}

QString decodeDescription(const QString &stored)
{
    QString text = stored;
    return text.replace(lineBreakMark, QStringLiteral("\r\n"));
}

QString backupTimeText(const QDateTime &time, const QLocale &locale)
{
    const QString date = locale.toString(time.date(), QLocale::ShortFormat);
    if (time.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(time.time(), timeFormatWithoutZone(locale));
}

Result writeBackupInfoHeader(const QString &path, const QString &computer, const QString &user,
                             const QDateTime &time, const QString &description)
{
    if (QFile::exists(path) && !QFile::remove(path))
        return Result::failure(QStringLiteral("Cannot replace %1.").arg(path));
    const std::pair<QString, QString> lines[] = {
        {QStringLiteral("BackupComputer"), computer},
        {QStringLiteral("BackupLogonUser"), user},
        {QStringLiteral("BackupTime"), backupTimeText(time)},
        {QStringLiteral("BackupInformation"), encodeDescription(description)},
    };
    for (const auto &[key, value] : lines)
        if (Result written = SaveINI(key, value, path); !written)
            return written;
    return Result::success();
}

} // namespace quillory
