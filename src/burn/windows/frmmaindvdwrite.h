#pragma once

#include "app/windows/skin.h"

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class frmMaindvdwrite;
}

namespace quillory {

struct BurnWindowContext;
class CompilationViews;
class DiscWriter;
class DrivePanel;
class UserDialogs;
class WriteRun;

// The burning window: the compilation views, the drive and options panel, and writing to a disc
// or an image file, each a part of its own that the window wires to its menus and buttons. While
// a write runs the window is busy: it cannot be closed and only Cancel and the Action and About
// menus work.
class frmMaindvdwrite : public QDialog {
    Q_OBJECT

public:
    // `backupfiletocd` and `backupcdpath` name an archive to put into the compilation's root;
    // either empty means none. The writer must outlive the window.
    frmMaindvdwrite(DiscWriter &writer, UserDialogs &dialogs, const QString &backupfiletocd = {},
                    const QString &backupcdpath = {}, QWidget *parent = nullptr);
    ~frmMaindvdwrite() override;

    // Shows the window modally on the program's own disc writer.
    static void showModal(UserDialogs &dialogs, const QString &backupfiletocd,
                          const QString &backupcdpath, QWidget *parent);

    bool isIdle() const { return m_idle; }
    int selectedDevice() const;
    // The status bar's panels 1 to 3.
    QString statusPanel(int panel) const;

    // Closing with files in the compilation asks first: they would be thrown away.
    void done(int result) override;

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void SetIdle(bool idle);

    DiscWriter &discWriter;
    UserDialogs &m_dialogs;
    std::unique_ptr<Ui::frmMaindvdwrite> ui;
    Skin Skin1;
    std::unique_ptr<BurnWindowContext> m_context;
    CompilationViews *m_views = nullptr;
    DrivePanel *m_drives = nullptr;
    WriteRun *m_writeRun = nullptr;
    QString m_backupfiletocd;
    QString m_backupcdpath;
    bool m_idle = true;
    bool m_waitCursor = false;
};

} // namespace quillory
