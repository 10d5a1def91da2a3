#include "schedule/scheduledbackup.h"

#include "backup/autobackupcommandline.h"
#include "platform/jobcommand.h"
#include "schedule/daylist.h"
#include "schedule/starttime.h"

namespace quillory {

Expected<ScheduledBackup> describeScheduledBackup(const ScheduledJob &job)
{
    const Expected<JobCommand> command = splitJobCommand(job.job.Command);
    if (!command)
        return command.result();
    const Expected<AutoBackupCommand> backup = parseAutoBackupCommandLine(command->arguments);
    if (!backup)
        return backup.result();
    return ScheduledBackup{job.number,
                           startTimeText(job.job.JobTime),
                           dayListFromDaysOfWeek(job.job.DaysOfWeek),
                           job.runsOnceOn,
                           backup->items(),
                           backup->archivePath};
}

} // namespace quillory
