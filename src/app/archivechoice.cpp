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
    QString folder = current.isEmpty() ? QDir::homePath() : QFileInfo(current).absolutePath();
    QString name = proposedName;
    for (;;) {
        const std::optional<QString> chosen =
            dialogs.saveFileName(title, folder, name, QStringLiteral("Quillory File (*.wlm)"));
        if (!chosen)
            return std::nullopt;
        if (!QFileInfo::exists(*chosen) ||
            dialogs.message(QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                .arg(QDir::toNativeSeparators(*chosen)),
                            applicationTitle(), MessageIcon::Warning,
                            MessageButtons::YesNo) == MessageAnswer::Yes)
            return chosen;
        // "No" turns down this file, not the choice: the dialog opens again where it was.
        folder = QFileInfo(*chosen).absolutePath();
        name = QFileInfo(*chosen).fileName();
    }
}

} // namespace quillory
