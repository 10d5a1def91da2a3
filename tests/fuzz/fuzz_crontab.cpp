// A user's crontab as the scheduler reads it: the table, each of the program's entries in it,
// and a job added and removed again. Every job read must be written back as it was read, and
// every other line must come back exactly.
#include "fuzzsupport.h"
#include "platform/cron/crontabtable.h"
#include "platform/jobcommand.h"

using namespace quillory;

namespace {

QString programOf(const CrontabJob &job)
{
    const Expected<JobCommand> command = splitJobCommand(job.scheduled.job.Command);
    return command ? command->program : QString();
}

// The schedule holds the program and the job file; the argument text is in the file.
bool sameJob(const CrontabJob &a, const CrontabJob &b)
{
    const AT_INFO &x = a.scheduled.job;
    const AT_INFO &y = b.scheduled.job;
    return a.scheduled.number == b.scheduled.number && x.JobTime == y.JobTime &&
           x.DaysOfMonth == y.DaysOfMonth && x.DaysOfWeek == y.DaysOfWeek && x.Flags == y.Flags &&
           programOf(a) == programOf(b) && a.scheduled.runsOnceOn == b.scheduled.runsOnceOn &&
           a.scheduled.jobFile == b.scheduled.jobFile && a.environment == b.environment;
}

QString jobFileOf(quint32 number)
{
    return QStringLiteral("/home/anna/.local/share/quillory/jobs/%1").arg(number);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    CrontabTable table(text);
    for (CrontabJob job : table.jobs()) {
        // A job of the older form gets its job file when the scheduler next writes the table.
        if (job.scheduled.jobFile.isEmpty())
            job.scheduled.jobFile = jobFileOf(job.scheduled.number);
        const Expected<QByteArray> entry = composeCrontabEntry(job);
        FUZZ_REQUIRE(entry, QStringLiteral("job %1 was read but cannot be written: %2")
                                .arg(job.scheduled.number)
                                .arg(entry.message()));
        const std::optional<CrontabJob> reread = parseCrontabEntry(job.scheduled.number, *entry);
        FUZZ_REQUIRE(reread && sameJob(*reread, job),
                     QStringLiteral("job %1 reads back differently").arg(job.scheduled.number));
    }

    CrontabJob added;
    added.scheduled.number = table.nextJobNumber();
    added.scheduled.job.JobTime = 9 * 3600 * 1000;
    added.scheduled.job.DaysOfWeek = 0x7f;
    added.scheduled.job.Flags = JOB_RUN_PERIODICALLY;
    added.scheduled.jobFile = jobFileOf(added.scheduled.number);
    added.scheduled.job.Command =
        QStringLiteral("\"/usr/bin/brevnor\" sf=annaxm=0100000000ps=bf=/home/anna/mail.wlm");
    const Expected<QByteArray> entry = composeCrontabEntry(added);
    FUZZ_REQUIRE(entry, QStringLiteral("a plain job cannot be written: %1").arg(entry.message()));
    table.insert(added.scheduled.number, *entry);
    bool found = false;
    for (const CrontabJob &job : table.jobs())
        found = found || sameJob(job, added);
    FUZZ_REQUIRE(found,
                 QStringLiteral("job %1 was added but is not found").arg(added.scheduled.number));
    FUZZ_REQUIRE(table.remove(added.scheduled.number),
                 QStringLiteral("the job added cannot be removed"));
    // Only the line end crontab needs at the end may have been added.
    const QByteArray expected = text.isEmpty() || text.endsWith('\n') ? text : text + '\n';
    FUZZ_REQUIRE(table.text() == expected,
                 QStringLiteral("other lines did not come back as they were"));
    return 0;
}
