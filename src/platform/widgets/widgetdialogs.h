#pragma once

#include "platform/userdialogs.h"

#include <QHash>

class QFileDialog;
class QWidget;

namespace quillory {

// The dialogs of the windowed program: message boxes, file dialogs and the password prompt.
// Each opens over the window that asked: the modal window in front, else the main window.
class WidgetDialogs final : public UserDialogs {
public:
    explicit WidgetDialogs(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }
    // The style sheet of a dialog that opens before any window could lend it its own look, as
    // the start-up messages do.
    void setLook(const QString &styleSheet) { m_look = styleSheet; }

    MessageAnswer message(const QString &text, const QString &title, MessageIcon icon,
                          MessageButtons buttons, const QString &details) override;
    std::optional<QString> saveFileName(const QString &title, const QString &folder,
                                        const QString &proposedName,
                                        const QString &filter) override;
    std::optional<QString> openFileName(const QString &title, const QString &folder,
                                        const QString &proposedName,
                                        const QString &filter) override;
    QStringList openFileNames(const QString &title, const QString &folder,
                              const QString &filter) override;
    std::optional<QString> folderName(const QString &title, const QString &folder) override;
    std::optional<QString> password(const QString &archivePath) override;

private:
    QWidget *owner() const;
    void dress(QWidget &dialog) const;
    // Opens the dialog in the folder of the last file of its kind, else in `folder`.
    std::optional<QString> chooseFile(QFileDialog &dialog, const QString &folder,
                                      const QString &filter, const QString &proposedName);

    QWidget *m_parent;
    QString m_look;
    // The folder of the file chosen last, by the kind of file a dialog offers.
    QHash<QString, QString> m_lastFolders;
};

} // namespace quillory
