#include "backup/windows/backuptab.h"

#include "app/archivechoice.h"
#include "app/itemtable.h"
#include "app/programcontext.h"
#include "backup/backuprun.h"
#include "burn/windows/frmmaindvdwrite.h"
#include "main/windows/frmmain.h"
#include "platform/runobserver.h"
#include "platform/userdialogs.h"

#include <QCheckBox>
#include <QDate>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <memory>

namespace quillory {

namespace {

// Without an archive no item was stored, whatever its collector did.
QString unwrittenLog(const ItemFlags &chosen)
{
    QString log;
    for (int index = 0; index < ItemCount; ++index)
        if (chosen[index])
            log += QStringLiteral("\r\n") + itemTable()[index].logLabel + QStringLiteral("\tFail!");
    return log;
}

} // namespace

BackupTab::BackupTab(frmMain &window)
    : QObject(&window), m_window(window), txtTargetFile(window.control<QLineEdit>("txtTargetFile")),
      ifprotect(window.control<QCheckBox>("ifprotect")),
      txtPassword(window.control<QLineEdit>("txtPassword")),
      txtPassword2(window.control<QLineEdit>("txtPassword2")),
      txtAttachInfo(window.control<QPlainTextEdit>("txtAttachInfo"))
{
    connect(window.control<QPushButton>("cmdTargetFile"), &QPushButton::clicked, this,
            &BackupTab::cmdTargetFile_Click);
    connect(ifprotect, &QCheckBox::clicked, this, &BackupTab::ifprotect_Click);
    connect(&window, &frmMain::backupRequested, this, &BackupTab::RunBackup);
}

void BackupTab::cmdTargetFile_Click()
{
    const std::optional<QString> chosen = chooseArchiveToWrite(
        m_window.context(), QStringLiteral("Save Windows Live Mail Data as"),
        QStringLiteral("brevnor") + QDate::currentDate().toString(QStringLiteral("MM-dd-yy")));
    if (!chosen)
        return;
    txtTargetFile->setText(*chosen);
    m_window.context().values().BackupFileName = txtTargetFile->text();
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
        [this, &context, items, archivePath = request.archivePath, outcome](const Result &) {
            if (!outcome->archive) {
                context.dialogs().message(
                    QStringLiteral("The backup archive could not be written: %1\r\n")
                            .arg(outcome->archive.message()) +
                        unwrittenLog(items),
                    applicationTitle(), MessageIcon::Error, MessageButtons::Ok);
                return;
            }
            context.dialogs().message(backupCompletedText + QStringLiteral("\r\n") + outcome->log,
                                      applicationTitle(), MessageIcon::Information,
                                      MessageButtons::Ok);
            if (!m_window.closesWhenRunEnds())
                offerDisc(archivePath);
        });
}

void BackupTab::offerDisc(const QString &archivePath)
{
    ProgramContext &context = m_window.context();
    if (context.dialogs().message(
            QStringLiteral("Do you need to backup your data to CD-R/RW or DVD?"),
            applicationTitle(), MessageIcon::Information,
            MessageButtons::OkCancel) != MessageAnswer::Ok)
        return;
    m_window.backupfiletocd = QFileInfo(archivePath).fileName();
    m_window.backupcdpath = archivePath;
    frmMaindvdwrite::showModal(context.dialogs(), m_window.backupfiletocd, m_window.backupcdpath,
                               &m_window);
}

} // namespace quillory
