#pragma once

#include "restore/archivelisting.h"

#include <QDialog>
#include <QStringList>

#include <memory>
#include <optional>

namespace Ui {
class frmAccounts;
}

namespace quillory {

// The accounts an archive holds, each with its number of messages, ticked to be restored.
class frmAccounts : public QDialog {
    Q_OBJECT

public:
    // `chosen`: the account folders ticked when it opens.
    frmAccounts(const QList<AccountListing> &accounts, const QStringList &chosen,
                QWidget *parent = nullptr);
    ~frmAccounts() override;

    // The account folders ticked, in the archive's order.
    QStringList chosen() const;

    // Shows the dialog modally; the accounts ticked when the user says OK, nullopt on Cancel.
    static std::optional<QStringList> choose(const QList<AccountListing> &accounts,
                                             const QStringList &chosen, QWidget *parent);

private:
    void lstAccounts_ItemChanged();

    std::unique_ptr<Ui::frmAccounts> ui;
};

} // namespace quillory
