#include "backup/backupinfo.h"

#include "app/keyvaluefile.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>

namespace quillory {

namespace {
const QString lineBreakMark = QStringLiteral("PS$KRV");
}

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

QString backupTimeText(const QDateTime &time)
{
    const QLocale locale = QLocale::system();
    const QString date = locale.toString(time.date(), QLocale::ShortFormat);
    if (time.time() == QTime(0, 0))
        return date;
    // The long format names the time zone; the general date format does not.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));
    return date + QLatin1Char(' ') + locale.toString(time.time(), timeFormat.trimmed());
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
