#include "app/stopsignals.h"

#include "platform/interruption.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quillory {

namespace {

constexpr int stopSignals[] = {SIGTERM, SIGINT, SIGHUP};
int wakeRead = -1;
int wakeWrite = -1;

// Caught rather than ignored, so that the programs the run starts get the default back.
void onFileSizeLimit(int) {}

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
    static const bool installed = [] {
        // Past the file size limit (ulimit -f) a write then fails with EFBIG, and the run fails
        // with that reason as on a full disk, instead of the process dying with its staged files.
        struct sigaction sizeLimit {};
        sizeLimit.sa_handler = onFileSizeLimit;
        sizeLimit.sa_flags = SA_RESTART;
        sigemptyset(&sizeLimit.sa_mask);
        ::sigaction(SIGXFSZ, &sizeLimit, nullptr);

        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return false;
        wakeRead = ends[0];
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
        return true;
    }();
    return installed ? wakeRead : -1;
}

void drainStopWake()
{
    if (wakeRead < 0)
        return;
    char bytes[64];
    while (::read(wakeRead, bytes, sizeof bytes) > 0) {
    }
}

} // namespace quillory
