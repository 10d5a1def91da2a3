#pragma once

#include <QDateTime>
#include <QString>

namespace quillory {

class UserDialogs;

// Tells the user, in one message, of the scheduled backups that failed since the last time this
// was called, from the jobs' records in `jobFolder`, and keeps `now` there as that time. The
// first call tells of every failure recorded.
void tellFailedScheduledBackups(UserDialogs &dialogs, const QString &jobFolder,
                                const QDateTime &now);

} // namespace quillory
