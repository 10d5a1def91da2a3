#pragma once

#include "platform/userdialogs.h"

class QWidget;

namespace quillory {

// The dialogs of the windowed program: message boxes, file dialogs and the password prompt.
class WidgetDialogs final : public UserDialogs {
public:
    explicit WidgetDialogs(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    MessageAnswer message(const QString &text, const QString &title, MessageIcon icon,
                          MessageButtons buttons, const QString &details) override;
    std::optional<QString> saveFileName(const QString &title, const QString &folder,
                                        const QString &proposedName,
                                        const QString &filter) override;
    std::optional<QString> openFileName(const QString &title, const QString &folder,
                                        const QString &filter) override;
    std::optional<QString> password(const QString &archivePath) override;

private:
    QWidget *m_parent;
};

} // namespace quillory
