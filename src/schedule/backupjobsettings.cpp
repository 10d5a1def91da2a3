#include "schedule/backupjobsettings.h"

#include "app/runoutcome.h"
#include "backup/generations.h"

namespace quillory {

namespace {

const QString keepKey = QStringLiteral("keep");
const QString createdKey = QStringLiteral("created");

} // namespace

QMap<QString, QString> BackupJobSettings::text() const
{
    QMap<QString, QString> settings = {{keepKey, QString::number(keep)}};
    if (created.isValid())
        settings.insert(createdKey, timeWithOffset(created));
    return settings;
}

BackupJobSettings BackupJobSettings::from(const QMap<QString, QString> &settings)
{
    BackupJobSettings job;
    bool number = false;
    const int keep = settings.value(keepKey).toInt(&number);
    if (number && keep >= 1 && keep <= maxKeptArchives)
        job.keep = keep;
    job.created = timeFromText(settings.value(createdKey));
    return job;
}

JobOptions FillJobOptions(int keep, bool catchUp, const QDateTime &now)
{
    return {BackupJobSettings{keep, now}.text(), catchUp};
}

} // namespace quillory
