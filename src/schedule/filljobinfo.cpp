#include "schedule/filljobinfo.h"

#include "platform/jobcommand.h"
#include "schedule/daylist.h"
#include "schedule/starttime.h"

namespace quillory {

namespace {

Result checkCarriable(const JobRequest &request)
{
    const QLatin1Char equals('=');
    if (request.password.contains(equals))
        return Result::failure(
            QStringLiteral("A scheduled backup cannot use a password that contains \"=\". "
                           "Please choose a password without \"=\"."));
    if (request.BackupFileName.contains(equals))
        return Result::failure(
            QStringLiteral("A scheduled backup cannot write to a file whose name or folder "
                           "contains \"=\". Please choose another backup file name."));
    if (request.LogonUserName.contains(equals))
        return Result::failure(QStringLiteral(
            "A scheduled backup cannot be set up for a user name that contains \"=\"."));
    if (request.programPath.contains(QLatin1Char('"')))
        return Result::failure(QStringLiteral(
            "A scheduled backup cannot start the program from a path that contains '\"'."));
    return Result::success();
}

} // namespace

Expected<AT_INFO> FillJobInfo(const JobRequest &request)
{
    const Expected<quint32> jobTime = jobTimeFromText(request.startTime);
    if (!jobTime)
        return jobTime.result();
    if (const Result carriable = checkCarriable(request); !carriable)
        return carriable;

    AT_INFO job;
    job.JobTime = *jobTime;
    job.DaysOfWeek = daysOfWeekFromDayList(request.DayList);
    job.Flags = JOB_RUN_PERIODICALLY;
    const QString arguments = QStringLiteral("sf=") + request.LogonUserName +
                              QStringLiteral("xm=") + itemFlagsText(request.items) +
                              QStringLiteral("ps=") + request.password + QStringLiteral("bf=") +
                              request.BackupFileName;
    job.Command = joinJobCommand({request.programPath, arguments});
    return job;
}

} // namespace quillory
