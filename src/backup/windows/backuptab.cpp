#include "backup/windows/backuptab.h"

#include "app/programcontext.h"
#include "app/windows/frmmain.h"
#include "backup/backuprun.h"
#include "platform/runobserver.h"
#include "platform/userdialogs.h"

#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <memory>

namespace quillory {

namespace {

template <typename Widget> Widget *control(frmMain &window, const char *name)
{
    auto *widget = window.findChild<Widget *>(QLatin1String(name));
    Q_ASSERT(widget);
    return widget;
}

} // namespace

BackupTab::BackupTab(frmMain &window)
    : QObject(&window), m_window(window),
      txtTargetFile(control<QLineEdit>(window, "txtTargetFile")),
      ifprotect(control<QCheckBox>(window, "ifprotect")),
      txtPassword(control<QLineEdit>(window, "txtPassword")),
      txtPassword2(control<QLineEdit>(window, "txtPassword2")),
      txtAttachInfo(control<QPlainTextEdit>(window, "txtAttachInfo"))
{
    connect(control<QPushButton>(window, "cmdTargetFile"), &QPushButton::clicked, this,
            &BackupTab::cmdTargetFile_Click);
    connect(ifprotect, &QCheckBox::clicked, this, &BackupTab::ifprotect_Click);
    connect(&window, &frmMain::backupRequested, this, &BackupTab::RunBackup);
}

void BackupTab::cmdTargetFile_Click()
{
    ProgramContext &context = m_window.context();
    UserDialogs &dialogs = context.dialogs();
    const QString proposed =
        QStringLiteral("brevnor") + QDate::currentDate().toString(QStringLiteral("MM-dd-yy"));
    const QString folder = context.values().BackupFileName.isEmpty()
                               ? QDir::homePath()
                               : QFileInfo(context.values().BackupFileName).absolutePath();
    const std::optional<QString> chosen =
        dialogs.saveFileName(QStringLiteral("Save Windows Mail Data as"), folder, proposed,
                             QStringLiteral("Quillory File (*.wlm)"));
    if (!chosen)
        return;
    if (QFileInfo::exists(*chosen) &&
        dialogs.message(QStringLiteral("%1 already exists.\nDo you want to replace it?")
                            .arg(QDir::toNativeSeparators(*chosen)),
                        applicationTitle(), MessageIcon::Warning,
                        MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    txtTargetFile->setText(*chosen);
    context.values().BackupFileName = txtTargetFile->text();
}

void BackupTab::ifprotect_Click()
{
    const bool on = ifprotect->isChecked();
    for (QLineEdit *box : {txtPassword, txtPassword2}) {
        box->setEnabled(on);
        box->clear();
    }
}

void BackupTab::RunBackup()
{
    ProgramContext &context = m_window.context();
    ItemFlags items{};
    for (int i = 0; i < ItemCount; ++i)
        items[i] = m_window.backupitem[i]->isChecked();

    BackupRequest request;
    request.archivePath = context.values().BackupFileName;
    request.items = items;
    request.protect = ifprotect->isChecked();
    request.password = txtPassword->text();
    request.description = txtAttachInfo->toPlainText();
    if (const auto problem = checkBackupInput(request.archivePath, items, request.protect,
                                              request.password, txtPassword2->text())) {
        context.dialogs().message(problem->text, applicationTitle(), problem->icon,
                                  MessageButtons::Ok);
        return;
    }

    auto outcome = std::make_shared<BackupOutcome>();
    m_window.startRun(
        QStringLiteral("Please Waiting..."),
        [&context, &zip = m_window.Zip1, request, outcome](RunObserver &observer) {
            *outcome = performBackup(context, zip, request, observer);
            return Result::success();
        },
        [&context, outcome](const Result &) {
            if (!outcome->archive) {
                context.dialogs().message(
                    QStringLiteral("The backup archive could not be written: %1\r\n")
                            .arg(outcome->archive.message()) +
                        outcome->log,
                    applicationTitle(), MessageIcon::Error, MessageButtons::Ok);
                return;
            }
            context.dialogs().message(backupCompletedText + QStringLiteral("\r\n") + outcome->log,
                                      applicationTitle(), MessageIcon::Information,
                                      MessageButtons::Ok);
        });
}

} // namespace quillory
