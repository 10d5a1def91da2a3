#pragma once

#include <QString>

#include <array>

class QLabel;

namespace Ui {
class frmMaindvdwrite;
}

namespace quillory {

class DiscWriter;
class UserDialogs;

// The compilation's root directory, as the disc writer keys it.
inline const QString compilationRootKey = QStringLiteral("\\");

// What the burning window's parts share: the disc writer, the dialogs, the form's widgets and the
// status bar's three panels.
struct BurnWindowContext {
    DiscWriter &writer;
    UserDialogs &dialogs;
    Ui::frmMaindvdwrite &ui;
    std::array<QLabel *, 3> panels{};

    // Panels count from 1, as the status bar shows them.
    void setPanel(int panel, const QString &text) const;
    void info(const QString &text) const;
    // `details` is the writer's reason, shown on request.
    void error(const QString &text, const QString &details = QString()) const;
};

} // namespace quillory
