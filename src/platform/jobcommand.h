#pragma once

#include "platform/result.h"

#include <QString>

namespace quillory {

// A job's command: the program's path in double quotes, one blank, then the argument text,
// which the program receives unchanged.
struct JobCommand {
    QString program;
    QString arguments;
};

QString joinJobCommand(const JobCommand &command);
// Fails when the text does not start with a quoted path followed by a blank.
Expected<JobCommand> splitJobCommand(const QString &command);

} // namespace quillory
