#pragma once

#include "platform/cron/crontabentry.h"

#include <QList>
#include <QProcessEnvironment>
#include <QString>

namespace quillory {

// cron starts a job with little more than HOME, LOGNAME, SHELL and a short PATH. A scheduled
// backup also needs the mail client's Wine prefix and the user's locale, in which the backup
// time is written and by which file names are decoded; without a locale, C.UTF-8.
QList<EnvironmentVariable> unattendedRunEnvironment(const QString &winePrefix,
                                                    const QProcessEnvironment &user);

} // namespace quillory
