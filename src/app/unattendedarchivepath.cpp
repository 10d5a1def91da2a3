#include "app/unattendedarchivepath.h"

#include "platform/wine/winepaths.h"

#include <QDir>
#include <QRegularExpression>

namespace quillory {

Expected<QString> unattendedArchivePath(const WinePaths &paths, const QString &field)
{
    static const QRegularExpression windowsPath(QStringLiteral(R"(^([A-Za-z]:[\\/]|\\\\))"));
    if (windowsPath.match(field).hasMatch()) {
        if (const std::optional<QString> host = paths.toHostPath(field))
            return *host;
        return Result::failure(
            QStringLiteral("The archive path %1 names a drive that the Wine prefix %2 does not "
                           "have; no backup was made.")
                .arg(field, paths.prefixPath()));
    }
    if (field.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(field);
    return Result::failure(QStringLiteral("The archive path %1 is not a full path (such as "
                                          "D:\\Backup\\mail.wlm or /home/anna/mail.wlm); no "
                                          "backup was made.")
                               .arg(field));
}

} // namespace quillory
