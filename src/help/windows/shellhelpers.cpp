#include "help/windows/shellhelpers.h"

#include "app/programfolder.h"
#include "help/helplocations.h"
#include "platform/userdialogs.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace quillory {

bool openWithDesktop(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool ShowHelp(UserDialogs &dialogs)
{
    return ShowHelp(dialogs, helpFilePath(programFolder()), openWithDesktop);
}

bool ShowHelp(UserDialogs &dialogs, const QString &helpFile, const UrlOpener &open)
{
    const QString shownPath = QDir::toNativeSeparators(helpFile);
    if (!QFileInfo(helpFile).isFile()) {
        dialogs.message(QStringLiteral("The help file %1 was not found.").arg(shownPath),
                        applicationTitle(), MessageIcon::Error);
        return false;
    }
    if (!open(QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath()))) {
        dialogs.message(QStringLiteral("No program was found to show the help file %1. "
                                       "Please open it in a web browser.")
                            .arg(shownPath),
                        applicationTitle(), MessageIcon::Error);
        return false;
    }
    return true;
}

bool ShellOpen(const QString &target)
{
    return ShellOpen(target, openWithDesktop);
}

bool ShellOpen(const QString &target, const UrlOpener &open)
{
    const QUrl url = QUrl::fromUserInput(target, QDir::currentPath());
    return url.isValid() && open(url);
}

} // namespace quillory
