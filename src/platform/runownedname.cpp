#include "platform/runownedname.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <limits>
#include <optional>
#include <unistd.h>

namespace quillory {

namespace {

// This machine, as 8 hex digits: a name stays short and of safe characters whatever the host's
// name.
QString hostMark()
{
    static const QString mark = [] {
        char name[256] = {};
        ::gethostname(name, sizeof name - 1);
        return QString::fromLatin1(
            QCryptographicHash::hash(QByteArray(name), QCryptographicHash::Sha1).left(4).toHex());
    }();
    return mark;
}

struct RunOwner {
    qint64 pid = 0;
    // Empty in names made before the host was named: judged by the process id alone.
    QStringView host;
};

// The run that `text` names when it reads "PID@HOST-…" or "PID-…".
std::optional<RunOwner> runOwnerOf(QStringView text)
{
    const qsizetype dash = text.indexOf(QLatin1Char('-'));
    if (dash <= 0 || !text.front().isDigit())
        return std::nullopt;
    RunOwner owner;
    QStringView pid = text.left(dash);
    if (const qsizetype at = pid.indexOf(QLatin1Char('@')); at >= 0) {
        owner.host = pid.mid(at + 1);
        pid = pid.left(at);
    }
    bool number = false;
    owner.pid = pid.toLongLong(&number);
    if (!number || owner.pid <= 0)
        return std::nullopt;
    return owner;
}

} // namespace

QString runOwnedSuffix()
{
    return QStringLiteral("%1@%2-%3")
        .arg(::getpid())
        .arg(hostMark())
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

bool madeByGoneRun(QStringView text)
{
    const std::optional<RunOwner> owner = runOwnerOf(text);
    // Another machine's process ids say nothing here: its run may be alive, in a folder both
    // share.
    if (!owner || (!owner->host.isEmpty() && owner->host != hostMark()))
        return false;
    if (owner->pid == ::getpid() || owner->pid > std::numeric_limits<pid_t>::max())
        return false;
    return ::kill(pid_t(owner->pid), 0) != 0 && errno == ESRCH;
}

bool isRunOwnedTemporary(const QString &name)
{
    static const QRegularExpression temporary(
        QStringLiteral("\\.quillory-[0-9]+(@[0-9a-f]{8})?-[0-9a-f]{8}(\\.[A-Za-z0-9]{6})?$"));
    return temporary.match(name).hasMatch();
}

} // namespace quillory
