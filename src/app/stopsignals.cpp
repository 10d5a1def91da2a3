#include "app/stopsignals.h"

#include "platform/interruption.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quillory {

namespace {

constexpr int stopSignals[] = {SIGTERM, SIGINT, SIGHUP};
int wakeWrite = -1;

// Only async-signal-safe work: an atomic store and a write to a non-blocking pipe.
void onStopSignal(int signal)
{
    const int saved = errno;
    requestInterruption(signal);
    if (wakeWrite >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &byte, 1);
    }
    errno = saved;
}

} // namespace

int installStopSignals()
{
    static const int wakeRead = [] {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return -1;
        wakeWrite = ends[1];
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        // The work goes on until it looks at the flag, so interrupted calls simply resume.
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (const int signal : stopSignals)
            sigaddset(&action.sa_mask, signal);
        for (const int signal : stopSignals) {
            struct sigaction previous {};
            if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
                ::sigaction(signal, &action, nullptr);
        }
        return ends[0];
    }();
    return wakeRead;
}

} // namespace quillory
