#include "schedule/daylist.h"

#include <QStringList>

namespace quillory {

namespace {

const QStringList &dayCodes()
{
    static const QStringList codes = {
        QStringLiteral("M"), QStringLiteral("T"), QStringLiteral("W"),  QStringLiteral("TH"),
        QStringLiteral("F"), QStringLiteral("S"), QStringLiteral("SU"),
    };
    return codes;
}

} // namespace

QString buildDayList(const WeekDays &days)
{
    QStringList ticked;
    for (std::size_t day = 0; day < days.size(); ++day)
        if (days[day])
            ticked.append(dayCodes().at(qsizetype(day)));
    return ticked.join(QLatin1Char(','));
}

quint8 daysOfWeekFromDayList(const QString &dayList)
{
    // Bits are set rather than added, so that a code given twice cannot turn into another day.
    quint8 days = 0;
    for (const QString &piece : dayList.split(QLatin1Char(','))) {
        const qsizetype day = dayCodes().indexOf(piece.toUpper());
        if (day >= 0)
            days |= quint8(1u << day);
    }
    return days;
}

QString dayListFromDaysOfWeek(quint8 daysOfWeek)
{
    WeekDays days{};
    for (std::size_t day = 0; day < days.size(); ++day)
        days[day] = daysOfWeek & (1u << day);
    return buildDayList(days);
}

} // namespace quillory
