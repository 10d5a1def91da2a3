#include "schedule/backupjobscheduler.h"

#include "schedule/unattendedrunenvironment.h"

#include <QDir>
#include <QProcessEnvironment>

namespace quillory {

CrontabScheduler backupJobScheduler(const QString &winePrefix, const QString &user)
{
    return CrontabScheduler(unattendedRunEnvironment(QDir(winePrefix).absolutePath(),
                                                     QProcessEnvironment::systemEnvironment()),
                            user);
}

} // namespace quillory
