#include "schedule/starttime.h"

#include <QRegularExpression>

namespace quillory {

QStringList startTimeList()
{
    QStringList times;
    for (int hour = 0; hour < 24; ++hour) {
        times.append(QString::number(hour) + QStringLiteral(":00"));
        times.append(QString::number(hour) + QStringLiteral(":30"));
    }
    return times;
}

Expected<quint32> jobTimeFromText(const QString &startTime)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2}):(\\d{1,2})$"));
    const QRegularExpressionMatch match = pattern.match(startTime.trimmed());
    const int hour = match.captured(1).toInt();
    const int minute = match.captured(2).toInt();
    if (!match.hasMatch() || hour > 23 || minute > 59)
        return Result::failure(QStringLiteral("\"%1\" is not a time of day. Enter the start time "
                                              "as hours and minutes, for example 9:00 or 14:30.")
                                   .arg(startTime));
    return quint32(hour * 3600 + minute * 60) * 1000;
}

QString startTimeText(quint32 jobTime)
{
    const quint32 minutes = jobTime / 60000;
    return QStringLiteral("%1:%2").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace quillory
