#include "cli/passwordinput.h"

#include "platform/heldsecrets.h"

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
    protectHeldSecrets();
    if (m_file) {
        QFile file(*m_file);
        if (!file.open(QIODevice::ReadOnly)) {
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
        m_problem = QStringLiteral("No password was typed.");
    return typed;
}

} // namespace quillory
