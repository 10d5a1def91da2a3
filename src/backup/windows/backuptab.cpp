#include "backup/windows/backuptab.h"

#include "app/archivechoice.h"
#include "app/itemtable.h"
#include "app/programcontext.h"
#include "app/windows/formcontrol.h"
#include "app/windows/runhost.h"
#include "backup/backuprun.h"
#include "backup/windows/sizeestimateview.h"
#include "burn/mediumfit.h"
#include "burn/windows/frmmaindvdwrite.h"
#include "platform/runobserver.h"
#include "platform/userdialogs.h"

#include <QCheckBox>
#include <QDate>
#include <QFileInfo>
#include <QLabel>
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

BackupTab::BackupTab(RunHost &host, QList<QCheckBox *> items)
    : QObject(&host.window()), m_host(host), m_items(std::move(items)),
      txtTargetFile(formControl<QLineEdit>(host.window(), "txtTargetFile")),
      ifprotect(formControl<QCheckBox>(host.window(), "ifprotect")),
      txtPassword(formControl<QLineEdit>(host.window(), "txtPassword")),
      txtPassword2(formControl<QLineEdit>(host.window(), "txtPassword2")),
      txtAttachInfo(formControl<QPlainTextEdit>(host.window(), "txtAttachInfo")),
      m_estimate(new SizeEstimateView(host.context(),
                                      formControl<QLabel>(host.window(), "lblEstimate"), m_items,
                                      ifprotect, txtTargetFile, this))
{
    connect(formControl<QPushButton>(host.window(), "cmdTargetFile"), &QPushButton::clicked, this,
            &BackupTab::cmdTargetFile_Click);
    connect(ifprotect, &QCheckBox::clicked, this, &BackupTab::ifprotect_Click);
}

void BackupTab::cmdTargetFile_Click()
{
    const std::optional<QString> chosen =
        chooseArchiveToWrite(m_host.context(), QStringLiteral("Save Windows Live Mail Data as"),
                             QStringLiteral("brevnor%1.wlm")
                                 .arg(QDate::currentDate().toString(QStringLiteral("MM-dd-yy"))));
    if (!chosen)
        return;
    txtTargetFile->setText(*chosen);
    m_host.context().values().BackupFileName = txtTargetFile->text();
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
    ProgramContext &context = m_host.context();
    ItemFlags items{};
    for (int i = 0; i < ItemCount; ++i)
        items[i] = m_items[i]->isChecked();

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
    if (!m_estimate->roomAgreed(request.archivePath))
        return;

    auto outcome = std::make_shared<BackupOutcome>();
    m_host.startRun(
        QStringLiteral("Please Waiting..."),
        [&context, &zip = m_archive, request, outcome](RunObserver &observer) {
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
            if (!m_host.closesWhenRunEnds())
                offerDisc(archivePath);
        });
}

void BackupTab::offerDisc(const QString &archivePath)
{
    ProgramContext &context = m_host.context();
    QString offer = QStringLiteral("Do you need to backup your data to CD-R/RW or DVD?");
    if (const QString fit = mediumFitText(quint64(QFileInfo(archivePath).size())); !fit.isEmpty())
        offer += QStringLiteral("\r\n\r\n") + fit;
    if (context.dialogs().message(offer, applicationTitle(), MessageIcon::Information,
                                  MessageButtons::OkCancel) != MessageAnswer::Ok)
        return;
    Q_EMIT archiveOfferedForDisc(archivePath);
    frmMaindvdwrite::showModal(context.dialogs(), QFileInfo(archivePath).fileName(), archivePath,
                               &m_host.window());
}

} // namespace quillory
