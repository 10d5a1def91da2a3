#pragma once

#include "platform/result.h"

#include <QString>
#include <QStringList>

namespace quillory {

inline const QString defaultStartTime = QStringLiteral("9:00");

// Every half hour of the day: "0:00", "0:30", "1:00" … "23:30".
QStringList startTimeList();
// The start time as the job record holds it, in milliseconds after midnight. Fails, saying so,
// on a text that is not a time of day written as hours and minutes.
Expected<quint32> jobTimeFromText(const QString &startTime);
// The record's start time written as the start time list writes it.
QString startTimeText(quint32 jobTime);

} // namespace quillory
