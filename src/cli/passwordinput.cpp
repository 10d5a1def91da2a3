#include "cli/passwordinput.h"

#include "app/stopsignals.h"
#include "platform/heldsecrets.h"
#include "platform/interruption.h"
#include "platform/result.h"
#include "platform/secretfile.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace quillory {

namespace {

// Reads one line from standard input with echo switched off; nullopt at the end of input, and
// at once when the run is asked to stop (the echo back on either way).
std::optional<QString> promptWithoutEcho(const QString &prompt)
{
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    const int wake = installStopSignals();
    termios saved{};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    std::string line;
    bool ended = false;
    while (!ended && !interruptionRequested()) {
        pollfd ready[2] = {{STDIN_FILENO, POLLIN, 0}, {wake, POLLIN, 0}};
        if (::poll(ready, wake >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (!(ready[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char c = 0;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        if (c == '\n')
            ended = true;
        else
            line.push_back(c);
    }
    if (quiet)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputc('\n', stderr);
    if (!ended)
        return std::nullopt;
    return QString::fromLocal8Bit(line);
}

// Opens the password file without waiting for a writer, so that a pipe nobody writes to cannot
// hold the run (and the profile's lock); only a regular file is read.
Expected<int> openPasswordFile(const QString &path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Result::failure(QStringLiteral("Cannot read the password file %1: %2")
                                   .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Result::failure(
            QStringLiteral("The password file %1 is not a regular file.").arg(path));
    }
    return fd;
}

} // namespace

PasswordInput::PasswordInput(std::optional<QString> passwordFile) : m_file(std::move(passwordFile))
{
}

bool PasswordInput::prompts() const
{
    return !m_file && !qEnvironmentVariableIsSet(passwordVariable);
}

std::optional<QString> PasswordInput::read(const QString &prompt)
{
    protectHeldSecrets();
    if (m_file) {
        const Expected<int> fd = openPasswordFile(*m_file);
        if (!fd) {
            m_problem = fd.message();
            return std::nullopt;
        }
        if (const QString open = readableByOthers(*m_file, QStringLiteral("The password file"));
            !open.isEmpty())
            std::fprintf(stderr, "%s\n", open.toLocal8Bit().constData());
        QFile file;
        if (!file.open(*fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(*fd);
            m_problem = QStringLiteral("Cannot read the password file %1: %2")
                            .arg(*m_file, file.errorString());
            return std::nullopt;
        }
        // A password file holds a line of a few words; reading stops at the bound, so that a
        // device or a huge file cannot hold the program.
        constexpr qint64 maxPasswordFileSize = 4 * 1024;
        QByteArray line = file.read(maxPasswordFileSize + 1);
        if (line.size() > maxPasswordFileSize) {
            m_problem = QStringLiteral("The password file %1 is larger than %2 bytes, so it "
                                       "holds no password.")
                            .arg(*m_file)
                            .arg(maxPasswordFileSize);
            return std::nullopt;
        }
        if (const qsizetype end = line.indexOf('\n'); end >= 0)
            line.truncate(end + 1);
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        return QString::fromUtf8(line);
    }
    if (qEnvironmentVariableIsSet(passwordVariable))
        return qEnvironmentVariable(passwordVariable);
    if (!::isatty(STDIN_FILENO)) {
        m_problem = QStringLiteral("A password is needed: give --password-file FILE or set %1.")
                        .arg(QLatin1String(passwordVariable));
        return std::nullopt;
    }
    std::optional<QString> typed = promptWithoutEcho(prompt);
    if (!typed)
        m_problem =
            interruptionRequested() ? interruptionText() : QStringLiteral("No password was typed.");
    return typed;
}

} // namespace quillory
