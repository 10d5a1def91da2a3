#include "platform/jobcommand.h"

namespace quillory {

QString joinJobCommand(const JobCommand &command)
{
    return QLatin1Char('"') + command.program + QStringLiteral("\" ") + command.arguments;
}

Expected<JobCommand> splitJobCommand(const QString &command)
{
    const qsizetype closingQuote = command.indexOf(QLatin1Char('"'), 1);
    if (!command.startsWith(QLatin1Char('"')) || closingQuote < 0 ||
        command.mid(closingQuote + 1, 1) != QLatin1String(" "))
        return Result::failure(
            QStringLiteral("The job's command does not start with the program's path in double "
                           "quotes and a blank."));
    return JobCommand{command.mid(1, closingQuote - 1), command.mid(closingQuote + 2)};
}

} // namespace quillory
