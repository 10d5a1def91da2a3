#include "platform/text/controlcharacters.h"

namespace quillory {

namespace {

bool isControl(const QString &text, qsizetype at)
{
    const char16_t c = text.at(at).unicode();
    if (c == u'\t' || c == u'\n')
        return false;
    if (c == u'\r')
        return at + 1 >= text.size() || text.at(at + 1) != QLatin1Char('\n');
    return c < 0x20 || (c >= 0x7f && c < 0xa0);
}

template <typename Replacement> QString replaced(const QString &text, Replacement replacement)
{
    qsizetype at = 0;
    while (at < text.size() && !isControl(text, at))
        ++at;
    if (at == text.size())
        return text;
    QString shown = text.left(at);
    for (; at < text.size(); ++at) {
        if (isControl(text, at))
            shown += replacement(text.at(at).unicode());
        else
            shown += text.at(at);
    }
    return shown;
}

} // namespace

QString escapedControls(const QString &text)
{
    return replaced(text, [](char16_t c) {
        return QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
    });
}

QString replacedControls(const QString &text)
{
    return replaced(text, [](char16_t) { return QString(QChar::ReplacementCharacter); });
}

} // namespace quillory
