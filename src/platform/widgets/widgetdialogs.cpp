#include "platform/widgets/widgetdialogs.h"

#include "platform/widgets/frmpwd.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace quillory {

namespace {
QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok:
        return QMessageBox::Ok;
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}
} // namespace

MessageAnswer WidgetDialogs::message(const QString &text, const QString &title, MessageIcon icon,
                                     MessageButtons buttons, const QString &details)
{
    QMessageBox box(boxIcon(icon), title, text, boxButtons(buttons), m_parent);
    if (!details.isEmpty())
        box.setDetailedText(details);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        return MessageAnswer::Cancel;
    }
}

std::optional<QString> WidgetDialogs::saveFileName(const QString &title, const QString &folder,
                                                   const QString &proposedName,
                                                   const QString &filter)
{
    // The program asks about replacing a file itself, so the dialog must not ask too.
    const QString chosen =
        QFileDialog::getSaveFileName(m_parent, title, QDir(folder).filePath(proposedName), filter,
                                     nullptr, QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

std::optional<QString> WidgetDialogs::openFileName(const QString &title, const QString &folder,
                                                   const QString &filter)
{
    const QString chosen = QFileDialog::getOpenFileName(m_parent, title, folder, filter);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

std::optional<QString> WidgetDialogs::password(const QString &)
{
    frmPwd prompt(m_parent);
    if (prompt.exec() != QDialog::Accepted)
        return std::nullopt;
    return prompt.password();
}

} // namespace quillory
