#pragma once

#include "app/itemtable.h"
#include "app/windows/skin.h"
#include "schedule/daylist.h"

#include <QDialog>
#include <QList>

#include <memory>

class QCheckBox;
class QLineEdit;

namespace Ui {
class Frmoption;
}

namespace quillory {

class JobScheduler;
class ProgramContext;

// The scheduler dialog: collects the items, start time, days, archive and password of a
// recurring unattended backup and hands the job to the scheduler. It never backs anything up
// itself, and it stays open after a submission so that several jobs can be added in a row.
class Frmoption : public QDialog {
    Q_OBJECT

public:
    // The scheduler must outlive the dialog.
    Frmoption(ProgramContext &context, JobScheduler &scheduler, QWidget *parent = nullptr);
    ~Frmoption() override;

    // The item boxes, by item index.
    QList<QCheckBox *> backupitem;

private:
    void Form_Load();
    void SetItemAvailability();
    void chkDaily_Click();
    void ifprotect_Click();
    void cmdTargetFile_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Form_Unload();

    ItemFlags tickedItems() const;
    WeekDays tickedDays() const;
    QList<QCheckBox *> dayBoxes() const;
    QList<QLineEdit *> passwordBoxes() const;

    ProgramContext &m_context;
    JobScheduler &m_scheduler;
    std::unique_ptr<Ui::Frmoption> ui;
    Skin Skin1;
};

} // namespace quillory
