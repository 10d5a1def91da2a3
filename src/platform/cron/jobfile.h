#pragma once

#include "platform/result.h"

#include <QString>

namespace quillory {

// A scheduled job's argument text, which holds the archive's password, kept in a file of its own
// that only its owner can read (0600, in a folder that only the owner can enter, 0700), so that
// neither the crontab line nor the process list nor cron's log and mail ever show it.
Result writeJobFile(const QString &path, const QString &arguments);
Expected<QString> readJobFile(const QString &path);

} // namespace quillory
