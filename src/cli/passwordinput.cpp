#include "cli/passwordinput.h"

#include <QFile>

#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace quillory {

namespace {

// Reads one line from standard input with echo switched off; nullopt at the end of input.
std::optional<QString> promptWithoutEcho(const QString &prompt)
{
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    termios saved{};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    std::string line;
    int c;
    while ((c = std::getchar()) != EOF && c != '\n')
        line.push_back(char(c));
    if (quiet)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputc('\n', stderr);
    if (c == EOF)
        return std::nullopt;
    return QString::fromLocal8Bit(line);
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
    if (m_file) {
        QFile file(*m_file);
        if (!file.open(QIODevice::ReadOnly)) {
            m_problem = QStringLiteral("Cannot read the password file %1: %2")
                            .arg(*m_file, file.errorString());
            return std::nullopt;
        }
        QByteArray line = file.readLine();
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
        m_problem = QStringLiteral("No password was typed.");
    return typed;
}

} // namespace quillory
