#pragma once

#include <QString>

namespace quillory {

// The program's texts break lines with CR LF, as the window shows them; a terminal wants LF.
inline QString terminalText(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace quillory
