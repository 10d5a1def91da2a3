#include "platform/cron/cronservice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quillory {

namespace {

// Debian's and cronie's daemon, busybox's, fcron's and dcron's.
const QStringList daemonNames = {QStringLiteral("cron"), QStringLiteral("crond"),
                                 QStringLiteral("fcron"), QStringLiteral("dcron")};

QByteArray firstLine(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readLine().trimmed();
}

} // namespace

bool cronServiceRuns(const CronServiceProbe &probe)
{
    const QDir processes(probe.processFolder);
    // A pid file that outlived its daemon names a process that is gone.
    for (const QString &pidFile : probe.pidFiles) {
        bool isNumber = false;
        const uint pid = firstLine(pidFile).toUInt(&isNumber);
        if (isNumber && pid > 0 && QFileInfo(processes.filePath(QString::number(pid))).isDir())
            return true;
    }
    for (const QString &entry : processes.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        entry.toUInt(&isNumber);
        if (isNumber && daemonNames.contains(QString::fromUtf8(
                            firstLine(processes.filePath(entry + QStringLiteral("/comm"))))))
            return true;
    }
    return false;
}

} // namespace quillory
