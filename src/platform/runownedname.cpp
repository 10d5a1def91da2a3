#include "platform/runownedname.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <limits>
#include <optional>
#include <unistd.h>

namespace quillory {

namespace {

// The process id that `text` starts with when it reads "PID-…".
std::optional<qint64> runOwnerOf(QStringView text)
{
    const qsizetype dash = text.indexOf(QLatin1Char('-'));
    if (dash <= 0 || !text.front().isDigit())
        return std::nullopt;
    bool number = false;
    const qint64 pid = text.left(dash).toLongLong(&number);
    if (!number || pid <= 0)
        return std::nullopt;
    return pid;
}

} // namespace

QString runOwnedSuffix()
{
    return QStringLiteral("%1-%2")
        .arg(::getpid())
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

bool madeByGoneRun(QStringView text)
{
    const std::optional<qint64> pid = runOwnerOf(text);
    if (!pid || *pid == ::getpid() || *pid > std::numeric_limits<pid_t>::max())
        return false;
    return ::kill(pid_t(*pid), 0) != 0 && errno == ESRCH;
}

bool isRunOwnedTemporary(const QString &name)
{
    static const QRegularExpression temporary(
        QStringLiteral("\\.quillory-[0-9]+-[0-9a-f]{8}(\\.[A-Za-z0-9]{6})?$"));
    return temporary.match(name).hasMatch();
}

} // namespace quillory
