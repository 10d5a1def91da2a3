#include "schedule/backupjobscheduler.h"

#include "schedule/unattendedrunenvironment.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace quillory {

QString backupJobFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/quillory/jobs");
}

CrontabScheduler backupJobScheduler(const QString &winePrefix, const QString &user)
{
    return CrontabScheduler(unattendedRunEnvironment(QDir(winePrefix).absolutePath(),
                                                     QProcessEnvironment::systemEnvironment()),
                            backupJobFolder(), user);
}

} // namespace quillory
