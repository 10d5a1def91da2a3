#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quillory {

enum class MessageIcon { None, Information, Warning, Error, Question };
// YesNoDefaultNo: a question whose answer Yes loses something; Enter answers No.
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, YesNoDefaultNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

// Every message box, question, file choice and password prompt goes through here, so that the
// texts can be checked in tests and a run without a window never waits for an answer.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // `details`, when not empty, stays out of the text: the box shows it on request.
    virtual MessageAnswer message(const QString &text, const QString &title, MessageIcon icon,
                                  MessageButtons buttons = MessageButtons::Ok,
                                  const QString &details = QString()) = 0;
    // A file to write; nullopt when the user cancels. `filter` is in Qt's "Name (*.ext)" form.
    virtual std::optional<QString> saveFileName(const QString &title, const QString &folder,
                                                const QString &proposedName,
                                                const QString &filter) = 0;
    virtual std::optional<QString> openFileName(const QString &title, const QString &folder,
                                                const QString &proposedName,
                                                const QString &filter) = 0;
    // Files to read, several at once; empty when the user cancels.
    virtual QStringList openFileNames(const QString &title, const QString &folder,
                                      const QString &filter) = 0;
    // A folder to read; nullopt when the user cancels.
    virtual std::optional<QString> folderName(const QString &title, const QString &folder) = 0;
    // The password for an archive; nullopt when the user cancels.
    virtual std::optional<QString> password(const QString &archivePath) = 0;
};

inline const QString &applicationTitle()
{
    static const QString title = QStringLiteral("Quillory");
    return title;
}

} // namespace quillory
