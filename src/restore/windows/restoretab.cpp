#include "restore/windows/restoretab.h"

#include "app/programcontext.h"
#include "app/stagingfolder.h"
#include "app/windows/formcontrol.h"
#include "app/windows/runhost.h"
#include "platform/runobserver.h"
#include "platform/text/controlcharacters.h"
#include "platform/userdialogs.h"
#include "restore/accountchoice.h"
#include "restore/archivelisting.h"
#include "restore/restorerun.h"
#include "restore/windows/frmaccounts.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

namespace quillory {

namespace {

void show(UserDialogs &dialogs, const RestoreMessage &message)
{
    if (!message.text.isEmpty())
        dialogs.message(message.text, applicationTitle(), message.icon, MessageButtons::Ok,
                        message.details);
}

const QString accountsCaption = QStringLiteral("Accounts...");

} // namespace

RestoreTab::RestoreTab(RunHost &host, QList<QCheckBox *> items)
    : QObject(&host.window()), m_host(host), m_items(std::move(items)),
      txtSourceFile(formControl<QLineEdit>(host.window(), "txtSourceFile")),
      txtPOBinfo(formControl<QPlainTextEdit>(host.window(), "txtPOBinfo")),
      txtFileInfo(formControl<QPlainTextEdit>(host.window(), "txtFileInfo")),
      cmdAccounts(formControl<QPushButton>(host.window(), "cmdAccounts"))
{
    connect(cmdAccounts, &QPushButton::clicked, this, &RestoreTab::cmdAccounts_Click);
    connect(formControl<QPushButton>(host.window(), "cmdSourceFile"), &QPushButton::clicked, this,
            &RestoreTab::cmdSourceFile_Click);
}

void RestoreTab::cmdSourceFile_Click()
{
    // The archive being read by a run must stay as it is until the run ends.
    if (m_host.isRunning())
        return;
    ProgramContext &context = m_host.context();
    UserDialogs &dialogs = context.dialogs();
    const QString folder = m_state.archivePath.isEmpty()
                               ? QDir::homePath()
                               : QFileInfo(m_state.archivePath).absolutePath();
    const std::optional<QString> chosen =
        dialogs.openFileName(QStringLiteral("Restore Data from a Backup file"), folder, QString(),
                             QStringLiteral("Quillory File(*.wlm)"));
    if (!chosen)
        return;

    const OpenOutcome outcome = openBackupArchive(
        m_archive, *chosen, [&dialogs](const QString &path) { return dialogs.password(path); },
        context.staging(), m_state);
    if (outcome.status == OpenStatus::Cancelled || outcome.status == OpenStatus::WrongPassword) {
        show(dialogs, outcome.message);
        return;
    }
    txtSourceFile->setText(*chosen);
    m_accounts.reset();
    cmdAccounts->setText(accountsCaption);
    cmdAccounts->setEnabled(false);
    // Texts from the archive are shown, not obeyed.
    txtPOBinfo->setPlainText(replacedControls(m_state.origin));
    txtFileInfo->setPlainText(replacedControls(m_state.description));
    if (outcome.status == OpenStatus::Invalid) {
        show(dialogs, outcome.message);
        return;
    }
    // A tick left from the previous archive would be neither seen as chosen nor restored.
    for (int i = 0; i < ItemCount; ++i) {
        m_items[i]->setEnabled(m_state.held[i]);
        if (!m_state.held[i])
            m_items[i]->setChecked(false);
    }
    cmdAccounts->setEnabled(m_state.held[ItemMailAccounts]);
}

void RestoreTab::cmdAccounts_Click()
{
    if (m_host.isRunning())
        return;
    ProgramContext &context = m_host.context();
    // A nested archive stored compressed is inflated to be listed, beside what the opening staged.
    const QTemporaryDir scratch(context.staging().filePath(QStringLiteral("list-XXXXXX")));
    const Expected<QList<ItemListing>> listing = listArchive(m_archive, m_state, scratch.path());
    if (!listing) {
        show(context.dialogs(), {invalidBackupText, MessageIcon::Error, listing.message()});
        return;
    }
    const QList<AccountListing> &accounts = listing->at(ItemMailAccounts).accounts;
    QStringList all;
    for (const AccountListing &account : accounts)
        all.append(account.folder);
    if (const std::optional<QStringList> chosen =
            frmAccounts::choose(accounts, m_accounts.value_or(all), &m_host.window())) {
        m_accounts = *chosen == all ? std::nullopt : chosen;
        cmdAccounts->setText(
            m_accounts
                ? QStringLiteral("Accounts (%1 of %2)...").arg(m_accounts->size()).arg(all.size())
                : accountsCaption);
    }
}

void RestoreTab::RestoreNow(bool askFirst)
{
    ProgramContext &context = m_host.context();
    if (askFirst && context.dialogs().message(restoreConfirmationText, applicationTitle(),
                                              MessageIcon::Information,
                                              MessageButtons::OkCancel) != MessageAnswer::Ok)
        return;
    ItemFlags ticked{};
    for (int i = 0; i < ItemCount; ++i)
        ticked[i] = m_items[i]->isChecked();
    // Refused before the progress panel shows, so that a refusal never looks like a run.
    if (m_state.invalidArchive) {
        show(context.dialogs(), {QStringLiteral("Invalid backup file."), MessageIcon::Error});
        return;
    }
    if (std::none_of(ticked.begin(), ticked.end(), [](bool tick) { return tick; })) {
        show(context.dialogs(),
             {QStringLiteral("Please select at least one item."), MessageIcon::Warning});
        return;
    }

    OpenedBackup state = m_state;
    if (m_accounts && ticked[ItemMailAccounts])
        if (Result narrowed = chooseAccounts(state, *m_accounts); !narrowed) {
            show(context.dialogs(), {invalidBackupText, MessageIcon::Error, narrowed.message()});
            return;
        }

    auto outcome = std::make_shared<RestoreOutcome>();
    m_host.startRun(
        QStringLiteral("Please Waiting..."),
        [&context, &zip = m_archive, state, ticked, outcome](RunObserver &observer) {
            *outcome = performRestore(context, zip, state, ticked, observer);
            return Result::success();
        },
        [&context, outcome](const Result &) { show(context.dialogs(), outcome->message); });
}

} // namespace quillory
