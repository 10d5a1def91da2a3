#include "restore/windows/frmaccounts.h"

#include "ui_frmaccounts.h"

#include "platform/text/controlcharacters.h"

#include <QLocale>
#include <QPushButton>

namespace quillory {

frmAccounts::frmAccounts(const QList<AccountListing> &accounts, const QStringList &chosen,
                         QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmAccounts>())
{
    ui->setupUi(this);
    for (const AccountListing &account : accounts) {
        // Names from the archive are shown, not obeyed.
        auto *item = new QListWidgetItem(
            QStringLiteral("%1 (%2 %3)")
                .arg(replacedControls(account.folder), QLocale().toString(account.messages),
                     account.messages == 1 ? QStringLiteral("message")
                                           : QStringLiteral("messages")),
            ui->lstAccounts);
        item->setData(Qt::UserRole, account.folder);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(chosen.contains(account.folder) ? Qt::Checked : Qt::Unchecked);
    }
    connect(ui->lstAccounts, &QListWidget::itemChanged, this,
            &frmAccounts::lstAccounts_ItemChanged);
    lstAccounts_ItemChanged();
}

frmAccounts::~frmAccounts() = default;

QStringList frmAccounts::chosen() const
{
    QStringList folders;
    for (int i = 0; i < ui->lstAccounts->count(); ++i)
        if (const QListWidgetItem *item = ui->lstAccounts->item(i);
            item->checkState() == Qt::Checked)
            folders.append(item->data(Qt::UserRole).toString());
    return folders;
}

// Restoring no account is unticking the item, not an empty choice.
void frmAccounts::lstAccounts_ItemChanged()
{
    ui->cmdButtons->button(QDialogButtonBox::Ok)->setEnabled(!chosen().isEmpty());
}

std::optional<QStringList> frmAccounts::choose(const QList<AccountListing> &accounts,
                                               const QStringList &chosen, QWidget *parent)
{
    frmAccounts dialog(accounts, chosen, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen();
}

} // namespace quillory
