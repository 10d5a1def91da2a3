#pragma once

#include <QString>

#include <optional>
#include <system_error>
#include <utility>

namespace quillory {

// The core reports failure as a value with a message; nothing throws across layers.
class Result {
public:
    Result() = default;
    static Result success() { return {}; }
    static Result failure(QString message)
    {
        Result r;
        r.m_failed = true;
        r.m_message = std::move(message);
        return r;
    }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const QString &message() const { return m_message; }

private:
    bool m_failed = false;
    QString m_message;
};

// The system's text for an errno value.
inline QString systemError(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

template <typename T> class Expected {
public:
    Expected(T value) : m_value(std::move(value)) {}
    Expected(Result failure) : m_failure(std::move(failure)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T &value() const { return *m_value; }
    T &value() { return *m_value; }
    const T &operator*() const { return *m_value; }
    const T *operator->() const { return &*m_value; }
    QString message() const { return m_failure.message(); }
    Result result() const { return ok() ? Result::success() : m_failure; }

private:
    std::optional<T> m_value;
    Result m_failure;
};

} // namespace quillory
