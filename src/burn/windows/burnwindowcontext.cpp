#include "burn/windows/burnwindowcontext.h"

#include "platform/userdialogs.h"

#include <QLabel>

namespace quillory {

void BurnWindowContext::setPanel(int panel, const QString &text) const
{
    panels[size_t(panel - 1)]->setText(text);
}

void BurnWindowContext::info(const QString &text) const
{
    dialogs.message(text, applicationTitle(), MessageIcon::Information);
}

void BurnWindowContext::error(const QString &text, const QString &details) const
{
    dialogs.message(text, applicationTitle(), MessageIcon::Error, MessageButtons::Ok, details);
}

} // namespace quillory
