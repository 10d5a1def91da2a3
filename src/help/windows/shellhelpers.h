#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace quillory {

class UserDialogs;

// Hands a URL to the desktop's handler for it without waiting for it; true when one was started.
using UrlOpener = std::function<bool(const QUrl &)>;
bool openWithDesktop(const QUrl &url);

// Opens the program's HTML help in the desktop's viewer and returns at once. When the help file
// is missing or no viewer can be started, the user is told so, once; the program goes on.
bool ShowHelp(UserDialogs &dialogs);
bool ShowHelp(UserDialogs &dialogs, const QString &helpFile, const UrlOpener &open);

// Opens a web address or a file with the desktop's default handler. A failure is not reported.
bool ShellOpen(const QString &target);
bool ShellOpen(const QString &target, const UrlOpener &open);

} // namespace quillory
