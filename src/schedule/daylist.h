#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

namespace quillory {

// The seven day boxes, Monday first.
using WeekDays = std::array<bool, 7>;

// The `DayList`: the codes "M", "T", "W", "TH", "F", "S", "SU" of the ticked days, Monday first,
// joined by commas; empty when no day is ticked.
QString buildDayList(const WeekDays &days);
// The job record's week days: bit 0 Monday … bit 6 Sunday. Codes are read without regard to
// case; a piece that is no code counts for nothing.
quint8 daysOfWeekFromDayList(const QString &dayList);
QString dayListFromDaysOfWeek(quint8 daysOfWeek);

} // namespace quillory
