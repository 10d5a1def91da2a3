#pragma once

#include <QString>
#include <QtGlobal>

namespace quillory {

// A job as the scheduling service takes it, with the fields and widths of its Windows original.
struct AT_INFO {
    quint32 JobTime = 0;     // milliseconds after midnight, local time
    quint32 DaysOfMonth = 0; // bit 0 is the 1st
    quint8 DaysOfWeek = 0;   // bit 0 Monday … bit 6 Sunday; 0 runs the job once
    quint8 Flags = 0;
    QString Command; // the program's path in double quotes, a blank, the argument text

    friend bool operator==(const AT_INFO &, const AT_INFO &) = default;
};

constexpr quint8 JOB_RUN_PERIODICALLY = 0x01;

} // namespace quillory
