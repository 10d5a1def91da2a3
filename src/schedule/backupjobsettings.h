#pragma once

#include "platform/jobscheduler.h"

#include <QDateTime>
#include <QMap>
#include <QString>

namespace quillory {

// What a scheduled backup's job file keeps besides its argument text. A job made before these
// existed has none of them: it keeps one archive and has no time it was made.
struct BackupJobSettings {
    int keep = 1;      // "keep": how many archives the job keeps (BackupRequest::keep)
    QDateTime created; // "created": from when missed runs count, until the job first completes

    QMap<QString, QString> text() const;
    static BackupJobSettings from(const QMap<QString, QString> &settings);
};

// What the scheduler keeps for a job the dialog submits at `now`.
JobOptions FillJobOptions(int keep, bool catchUp, const QDateTime &now);

} // namespace quillory
