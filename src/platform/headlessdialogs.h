#pragma once

#include "platform/userdialogs.h"

#include <cstdio>

namespace quillory {

// The dialogs of a run without a window: messages go to standard error, questions take their
// safe answer (Cancel or No) and nothing is ever asked.
class HeadlessDialogs final : public UserDialogs {
public:
    explicit HeadlessDialogs(std::FILE *out = stderr) : m_out(out) {}

    MessageAnswer message(const QString &text, const QString &title, MessageIcon icon,
                          MessageButtons buttons, const QString &details) override;
    std::optional<QString> saveFileName(const QString &, const QString &, const QString &,
                                        const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> openFileName(const QString &, const QString &, const QString &,
                                        const QString &) override
    {
        return std::nullopt;
    }
    QStringList openFileNames(const QString &, const QString &, const QString &) override
    {
        return {};
    }
    std::optional<QString> folderName(const QString &, const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> password(const QString &) override { return std::nullopt; }

    // Every message written so far, text and details, for a record of the run.
    const QStringList &written() const { return m_written; }

private:
    std::FILE *m_out;
    QStringList m_written;
};

} // namespace quillory
