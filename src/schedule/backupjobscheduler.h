#pragma once

#include "platform/cron/crontabscheduler.h"

#include <QString>

namespace quillory {

// The folder of the user's configuration that keeps the scheduled backups' job files.
QString backupJobFolder();

// The crontab that holds the scheduled backups of the mail in the Wine prefix `winePrefix`: the
// logged-on user's own, or `user`'s (which needs root). Every job carries the prefix as an
// absolute path, since cron starts it in the home folder.
CrontabScheduler backupJobScheduler(const QString &winePrefix, const QString &user = {});

} // namespace quillory
