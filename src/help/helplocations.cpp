#include "help/helplocations.h"

namespace quillory {

QString productWebAddress()
{
    return QStringLiteral(QUILLORY_WEB_ADDRESS);
}

QString supportEmailAddress()
{
    return QStringLiteral(QUILLORY_SUPPORT_EMAIL);
}

QString helpFilePath(const QString &programFolder)
{
    return programFolder + QStringLiteral("/help/index.html");
}

} // namespace quillory
