#pragma once

#include <QString>

#include <optional>

namespace quillory {

inline constexpr char passwordVariable[] = "QUILLORY_PASSWORD";

// Where a password comes from, never from an argument: the first line of the file named with
// --password-file, else the environment variable QUILLORY_PASSWORD, else a prompt on the
// terminal that does not echo what is typed.
class PasswordInput {
public:
    explicit PasswordInput(std::optional<QString> passwordFile);

    // Whether the password is asked on the terminal.
    bool prompts() const;
    // The password; nullopt when there is none to be had, or the prompt ended without one, and
    // problem() says why.
    std::optional<QString> read(const QString &prompt);
    const QString &problem() const { return m_problem; }

private:
    std::optional<QString> m_file;
    QString m_problem;
};

} // namespace quillory
