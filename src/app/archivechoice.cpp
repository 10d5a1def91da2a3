#include "app/archivechoice.h"

#include "app/programcontext.h"
#include "platform/userdialogs.h"

#include <QDir>
#include <QFileInfo>

namespace quillory {

std::optional<QString> chooseArchiveToWrite(ProgramContext &context, const QString &title,
                                            const QString &proposedName)
{
    UserDialogs &dialogs = context.dialogs();
    const QString current = context.values().BackupFileName;
    const QString folder = current.isEmpty() ? QDir::homePath() : QFileInfo(current).absolutePath();
    const std::optional<QString> chosen =
        dialogs.saveFileName(title, folder, proposedName, QStringLiteral("Quillory File (*.wlm)"));
    if (!chosen)
        return std::nullopt;
    if (QFileInfo::exists(*chosen) &&
        dialogs.message(QStringLiteral("%1 already exists.\nDo you want to replace it?")
                            .arg(QDir::toNativeSeparators(*chosen)),
                        applicationTitle(), MessageIcon::Warning,
                        MessageButtons::YesNo) != MessageAnswer::Yes)
        return std::nullopt;
    return chosen;
}

} // namespace quillory
