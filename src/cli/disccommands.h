#pragma once

#include <QStringList>
#include <QTextStream>

namespace quillory {

// brevnor-cli's disc commands: drives, disc-info, burn, iso and erase.
bool isDiscCommand(const QString &command);
// `arguments` start with the command's name. Progress goes to `err`. Returns the exit status.
int runDiscCommand(const QStringList &arguments, QTextStream &out, QTextStream &err);

extern const char discUsage[];

} // namespace quillory
