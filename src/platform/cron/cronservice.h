#pragma once

#include <QString>
#include <QStringList>

namespace quillory {

// Where a cron daemon of this system shows that it runs: the pid file it writes, else its
// process among those of the process folder.
struct CronServiceProbe {
    QString processFolder = QStringLiteral("/proc");
    QStringList pidFiles = {QStringLiteral("/run/crond.pid"), QStringLiteral("/var/run/crond.pid"),
                            QStringLiteral("/run/cron.pid")};
};

bool cronServiceRuns(const CronServiceProbe &probe = {});

} // namespace quillory
