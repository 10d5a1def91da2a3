#include "platform/headlessdialogs.h"

#include "platform/text/controlcharacters.h"

namespace quillory {

namespace {
const char *iconWord(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Error:
        return "error";
    case MessageIcon::Warning:
        return "warning";
    case MessageIcon::Question:
        return "question";
    case MessageIcon::Information:
    case MessageIcon::None:
        break;
    }
    return nullptr;
}
} // namespace

MessageAnswer HeadlessDialogs::message(const QString &text, const QString &title, MessageIcon icon,
                                       MessageButtons buttons, const QString &details)
{
    // The texts may carry names from an archive or the file system: they are shown, not obeyed.
    const auto shown = [](QString text) {
        return escapedControls(text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))).toUtf8();
    };
    const char *word = iconWord(icon);
    const QByteArray line = shown(title + QStringLiteral(": ")) +
                            (word ? QByteArray(word) + ": " : QByteArray()) + shown(text);
    std::fprintf(m_out, "%s\n", line.constData());
    m_written.append(text);
    if (!details.isEmpty())
        m_written.append(details);
    // Nobody can ask for the details here, so they follow the text.
    if (!details.isEmpty())
        std::fprintf(m_out, "%s\n", shown(details).constData());
    std::fflush(m_out);
    switch (buttons) {
    case MessageButtons::Ok:
        return MessageAnswer::Ok;
    case MessageButtons::OkCancel:
    case MessageButtons::YesNoCancel:
        return MessageAnswer::Cancel;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoDefaultNo:
        return MessageAnswer::No;
    }
    return MessageAnswer::Cancel;
}

} // namespace quillory
