#include "platform/wine/wineprefix.h"

#include <QDir>

namespace quillory {

QString defaultWinePrefix()
{
    const QString fromEnvironment = qEnvironmentVariable("WINEPREFIX");
    if (!fromEnvironment.isEmpty())
        return QDir::cleanPath(fromEnvironment);
    return QDir::homePath() + QStringLiteral("/.wine");
}

} // namespace quillory
