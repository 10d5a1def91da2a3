#pragma once

#include "app/windows/skin.h"

#include <QDialog>

#include <memory>

namespace Ui {
class frmTasks;
}

namespace quillory {

class JobScheduler;
class UserDialogs;

// The program's own list of its scheduled backups: when each runs, what it saves and where,
// whether it makes up missed runs, how its last run went (a failed one marked) and when it runs
// next, the program it starts, never its password; jobs whose program or job file is missing are
// marked.
// A chosen job can be deleted, together with its job file.
class frmTasks : public QDialog {
    Q_OBJECT

public:
    // The scheduler must outlive the window.
    frmTasks(JobScheduler &scheduler, UserDialogs &dialogs, QWidget *parent = nullptr);
    ~frmTasks() override;

private:
    void ListTasks();
    void cmdDelete_Click();

    JobScheduler &m_scheduler;
    UserDialogs &m_dialogs;
    std::unique_ptr<Ui::frmTasks> ui;
    Skin Skin1;
};

} // namespace quillory
