#include "platform/cron/crontabentry.h"

#include "platform/jobcommand.h"

#include <QRegularExpression>
#include <QStringList>

namespace quillory {

namespace {

constexpr quint32 MsPerMinute = 60 * 1000;
constexpr quint32 MsPerDay = 24 * 60 * MsPerMinute;
constexpr quint8 EveryDay = 0x7f;

const QLatin1String markerPrefix("# quillory job ");

// cron cuts the command at the first bare "%", turns "\%" into "%" and runs the rest with
// `/bin/sh -c`. Every word is single-quoted for the shell. Some crons also turn "\\" into "\",
// others keep both, so no backslash may be followed by another or by an escaped "%": after a
// backslash of the text the quotes are closed and reopened.
QString cronWord(const QString &text)
{
    QString word = QStringLiteral("'");
    for (const QChar c : text) {
        if (c == QLatin1Char('\''))
            word += QStringLiteral("'\\''");
        else if (c == QLatin1Char('\\'))
            word += QStringLiteral("\\''");
        else if (c == QLatin1Char('%'))
            word += QStringLiteral("\\%");
        else
            word += c;
    }
    return word + QLatin1Char('\'');
}

// What the shell receives from cron, or nothing when the command holds text for standard input
// or a doubled backslash, which cronWord never writes.
std::optional<QString> cronUnescape(QStringView command)
{
    QString text;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command[i];
        if (c == QLatin1Char('%'))
            return std::nullopt;
        if (c == QLatin1Char('\\') && i + 1 < command.size()) {
            if (command[i + 1] == QLatin1Char('\\'))
                return std::nullopt;
            if (command[i + 1] == QLatin1Char('%')) {
                text += QLatin1Char('%');
                ++i;
                continue;
            }
        }
        text += c;
    }
    return text;
}

// A line break would end the entry early, and `crontab -l` shows a carriage return or a
// backspace as the two characters "\r" or "\b".
bool holdsControlCharacter(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    return false;
}

// One shell word made of single-quoted parts and backslash-escaped characters, as cronWord
// writes it after cron's unescaping; stops at a blank.
std::optional<QString> readWord(QStringView text, qsizetype &pos)
{
    QString word;
    bool quoted = false;
    while (pos < text.size() && text[pos] != QLatin1Char(' ')) {
        if (text[pos] == QLatin1Char('\'')) {
            const qsizetype close = text.indexOf(QLatin1Char('\''), pos + 1);
            if (close < 0)
                return std::nullopt;
            word += text.mid(pos + 1, close - pos - 1);
            pos = close + 1;
            quoted = true;
        } else if (text[pos] == QLatin1Char('\\') && pos + 1 < text.size()) {
            word += text[pos + 1];
            pos += 2;
        } else {
            return std::nullopt;
        }
    }
    // The writer refuses words it could not carry, so no entry it wrote holds one.
    if (!quoted || holdsControlCharacter(word))
        return std::nullopt;
    return word;
}

bool isVariableName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return pattern.match(name).hasMatch();
}

// Four digits, as `date +%Y` prints the years the guard can hold.
QString onceGuard(int year)
{
    return QStringLiteral("[ \"$(date +\\%Y)\" = %1 ] && ").arg(year, 4, 10, QLatin1Char('0'));
}

QString weekDayField(quint8 daysOfWeek)
{
    if (daysOfWeek == EveryDay)
        return QStringLiteral("*");
    // cron counts from Sunday = 0; the record from Monday = bit 0.
    QStringList days;
    if (daysOfWeek & (1u << 6))
        days.append(QStringLiteral("0"));
    for (int bit = 0; bit < 6; ++bit)
        if (daysOfWeek & (1u << bit))
            days.append(QString::number(bit + 1));
    return days.join(QLatin1Char(','));
}

quint8 daysOfWeekFromField(const QString &field)
{
    if (field == QLatin1String("*"))
        return EveryDay;
    quint8 days = 0;
    for (const QString &day : field.split(QLatin1Char(','))) {
        const int cronDay = day.toInt();
        days |= quint8(1u << ((cronDay + 6) % 7));
    }
    return days;
}

Result checkCarriable(const CrontabJob &entry, const JobCommand &command)
{
    const AT_INFO &job = entry.scheduled.job;
    if (job.JobTime >= MsPerDay || job.JobTime % MsPerMinute != 0)
        return Result::failure(
            QStringLiteral("The job's start time must be a whole minute of the day."));
    if (job.DaysOfMonth != 0)
        return Result::failure(QStringLiteral("Jobs on days of the month are not supported."));
    if (job.Flags != JOB_RUN_PERIODICALLY || job.DaysOfWeek > EveryDay)
        return Result::failure(QStringLiteral("The job's flags or week days are not supported."));
    if (job.DaysOfWeek == 0 && !entry.scheduled.runsOnceOn.isValid())
        return Result::failure(QStringLiteral("A job without week days needs the day it runs."));
    if (!command.program.startsWith(QLatin1Char('/')))
        return Result::failure(QStringLiteral("The job's program must be given by its full path."));
    if (!entry.scheduled.jobFile.startsWith(QLatin1Char('/')))
        return Result::failure(QStringLiteral("The job's file must be given by its full path."));
    bool controlCharacter = holdsControlCharacter(command.program) ||
                            holdsControlCharacter(command.arguments) ||
                            holdsControlCharacter(entry.scheduled.jobFile);
    for (const EnvironmentVariable &variable : entry.environment) {
        if (!isVariableName(variable.name))
            return Result::failure(
                QStringLiteral("\"%1\" is not the name of a variable.").arg(variable.name));
        controlCharacter = controlCharacter || holdsControlCharacter(variable.value);
    }
    if (controlCharacter)
        return Result::failure(
            QStringLiteral("The job's command holds a line break or another control character, "
                           "which a crontab entry cannot carry."));
    return Result::success();
}

// The five time fields and, for a job that runs once, the year guard, each followed by a blank.
QString scheduleFields(const ScheduledJob &scheduled)
{
    const quint32 minutes = scheduled.job.JobTime / MsPerMinute;
    QString fields = QStringLiteral("%1 %2 ").arg(minutes % 60).arg(minutes / 60);
    if (scheduled.job.DaysOfWeek != 0)
        return fields + QStringLiteral("* * ") + weekDayField(scheduled.job.DaysOfWeek) +
               QLatin1Char(' ');
    const QDate day = scheduled.runsOnceOn;
    // cron knows no years: the entry would come back on the same day every year.
    return fields + QStringLiteral("%1 %2 * ").arg(day.day()).arg(day.month()) +
           onceGuard(day.year());
}

// Reads the time fields into the job and returns the command that follows them.
std::optional<QString> readSchedule(const QString &text, ScheduledJob &scheduled)
{
    static const QRegularExpression fields(QStringLiteral(
        "^(\\d{1,2}) (\\d{1,2}) (\\*|\\d{1,2}) (\\*|\\d{1,2}) (\\*|[0-7](?:,[0-7])*) (.*)$"));
    const QRegularExpressionMatch match = fields.match(text);
    const int minute = match.captured(1).toInt();
    const int hour = match.captured(2).toInt();
    if (!match.hasMatch() || minute > 59 || hour > 23)
        return std::nullopt;
    AT_INFO &job = scheduled.job;
    job.JobTime = quint32(hour * 60 + minute) * MsPerMinute;
    job.Flags = JOB_RUN_PERIODICALLY;
    QString command = match.captured(6);
    const bool everyMonthDay = match.captured(3) == QLatin1String("*");
    if (everyMonthDay && match.captured(4) == QLatin1String("*")) {
        job.DaysOfWeek = daysOfWeekFromField(match.captured(5));
        return command;
    }
    if (everyMonthDay || match.captured(5) != QLatin1String("*"))
        return std::nullopt;
    static const QRegularExpression guard(
        QStringLiteral("^\\[ \"\\$\\(date \\+\\\\%Y\\)\" = (\\d{4}) \\] && "));
    const QRegularExpressionMatch once = guard.match(command);
    scheduled.runsOnceOn =
        QDate(once.captured(1).toInt(), match.captured(4).toInt(), match.captured(3).toInt());
    if (!once.hasMatch() || !scheduled.runsOnceOn.isValid())
        return std::nullopt;
    return command.mid(once.capturedLength());
}

// Only the form scheduleFields writes is read, so that every number of a job reads back as it
// was written: "09", "0630" read as a year, or "7" for Sunday would be written back otherwise.
std::optional<QString> readCanonicalSchedule(const QString &text, ScheduledJob &scheduled)
{
    const std::optional<QString> command = readSchedule(text, scheduled);
    if (!command || !text.startsWith(scheduleFields(scheduled)))
        return std::nullopt;
    return command;
}

// Reads the variables, the program and its argument text into the job.
bool readCommand(const QString &command, CrontabJob &entry)
{
    const std::optional<QString> shellText = cronUnescape(command);
    if (!shellText)
        return false;
    static const QRegularExpression assignment(QStringLiteral("[A-Za-z_][A-Za-z0-9_]*="));
    qsizetype pos = 0;
    for (;;) {
        const QRegularExpressionMatch name =
            assignment.match(*shellText, pos, QRegularExpression::NormalMatch,
                             QRegularExpression::AnchorAtOffsetMatchOption);
        if (!name.hasMatch())
            break;
        pos = name.capturedEnd();
        const std::optional<QString> value = readWord(*shellText, pos);
        if (!value || pos >= shellText->size())
            return false;
        ++pos;
        entry.environment.append({name.captured().chopped(1), *value});
    }
    // The current form starts the program with its job file; the older one gave the argument
    // text itself.
    const QLatin1String exec("exec ");
    const bool current = QStringView(*shellText).mid(pos).startsWith(exec);
    if (current)
        pos += exec.size();
    const std::optional<QString> program = readWord(*shellText, pos);
    const QLatin1String jobOption(" --job ");
    // A double quote would end the program's path early in the job's command; a path that is
    // not absolute is one the writer refuses.
    if (!program || program->contains(QLatin1Char('"')) || !program->startsWith(QLatin1Char('/')) ||
        pos >= shellText->size())
        return false;
    if (current) {
        if (!QStringView(*shellText).mid(pos).startsWith(jobOption))
            return false;
        pos += jobOption.size();
    } else {
        ++pos;
    }
    const std::optional<QString> word = readWord(*shellText, pos);
    if (!word || pos != shellText->size())
        return false;
    entry.scheduled.jobFile = current ? *word : QString();
    entry.scheduled.job.Command = joinJobCommand({*program, current ? QString() : *word});
    return true;
}

// The variables, then `exec` of the program with its job file.
QString jobCommand(const CrontabJob &entry, const QString &program)
{
    QString line;
    for (const EnvironmentVariable &variable : entry.environment)
        line += variable.name + QLatin1Char('=') + cronWord(variable.value) + QLatin1Char(' ');
    // exec, so that no shell stays behind for the length of the run.
    return line + QStringLiteral("exec ") + cronWord(program) + QStringLiteral(" --job ") +
           cronWord(entry.scheduled.jobFile);
}

} // namespace

QByteArray crontabMarker(quint32 number)
{
    return QByteArray(markerPrefix.data(), markerPrefix.size()) + QByteArray::number(number);
}

std::optional<quint32> parseCrontabMarker(QByteArrayView line)
{
    // Nine digits at most, so that every number fits the job record.
    static const QRegularExpression pattern(QStringLiteral("^# quillory job ([1-9][0-9]{0,8})$"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(line));
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toUInt();
}

Expected<QByteArray> composeCrontabEntry(const CrontabJob &entry)
{
    const AT_INFO &job = entry.scheduled.job;
    const Expected<JobCommand> command = splitJobCommand(job.Command);
    if (!command)
        return command.result();
    if (const Result carriable = checkCarriable(entry, *command); !carriable)
        return carriable;

    return (scheduleFields(entry.scheduled) + jobCommand(entry, command->program)).toUtf8();
}

QList<QByteArray> composeCatchUpEntries(const CrontabJob &entry)
{
    const QString command =
        jobCommand(entry, splitJobCommand(entry.scheduled.job.Command)->program) +
        QStringLiteral(" --if-missed");
    const quint32 minute = (entry.scheduled.job.JobTime / MsPerMinute + 30) % 60;
    return {(QStringLiteral("@reboot ") + command).toUtf8(),
            (QStringLiteral("%1 * * * * ").arg(minute) + command).toUtf8()};
}

std::optional<CrontabJob> parseCrontabEntry(quint32 number, QByteArrayView line)
{
    const QString text = QString::fromUtf8(line);
    if (text.toUtf8() != line)
        return std::nullopt;
    CrontabJob entry;
    entry.scheduled.number = number;
    const std::optional<QString> command = readCanonicalSchedule(text, entry.scheduled);
    if (!command || !readCommand(*command, entry))
        return std::nullopt;
    // What the writer would refuse is not read either, so every job read can be written back.
    // A job of the older form gets its file when it is next written.
    CrontabJob written = entry;
    if (written.scheduled.jobFile.isEmpty())
        written.scheduled.jobFile = QStringLiteral("/");
    const Expected<JobCommand> split = splitJobCommand(written.scheduled.job.Command);
    if (!split || !checkCarriable(written, *split))
        return std::nullopt;
    return entry;
}

QDate nextRunDate(quint32 jobTime, const QDateTime &now)
{
    const bool stillAhead = quint32(now.time().msecsSinceStartOfDay()) < jobTime;
    return stillAhead ? now.date() : now.date().addDays(1);
}

} // namespace quillory
