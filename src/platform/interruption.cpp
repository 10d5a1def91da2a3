#include "platform/interruption.h"

#include <atomic>
#include <csignal>

namespace quillory {

namespace {

std::atomic<int> requestedBy{0};
static_assert(std::atomic<int>::is_always_lock_free, "read and written from a signal handler");

} // namespace

void requestInterruption(int signal) noexcept
{
    requestedBy.store(signal);
}

bool interruptionRequested() noexcept
{
    return requestedBy.load() != 0;
}

QString interruptionText()
{
    const int signal = requestedBy.load();
    const char *name = signal == SIGTERM  ? "SIGTERM"
                       : signal == SIGINT ? "SIGINT"
                       : signal == SIGHUP ? "SIGHUP"
                                          : nullptr;
    const QString by = name ? QString::fromLatin1(name) : QStringLiteral("signal %1").arg(signal);
    return QStringLiteral("The run was stopped by %1; nothing more was written.").arg(by);
}

} // namespace quillory
