#include "schedule/windows/frmoption.h"

#include "ui_frmoption.h"

#include "app/archivechoice.h"
#include "app/programcontext.h"
#include "app/storediscovery.h"
#include "platform/clock.h"
#include "platform/jobscheduler.h"
#include "platform/userdialogs.h"
#include "platform/widgets/passwordmask.h"
#include "registry/modreg.h"
#include "schedule/backupjobsettings.h"
#include "schedule/filljobinfo.h"
#include "schedule/jobprogram.h"
#include "schedule/starttime.h"
#include "schedule/windows/frmtasks.h"

#include <QApplication>

#include <algorithm>

namespace quillory {

namespace {

// Grey while the option is off, so that the boxes plainly take no password.
void paintPasswordBox(QLineEdit *box, bool on)
{
    const QColor colour = QApplication::palette().color(on ? QPalette::Base : QPalette::Button);
    QPalette palette = box->palette();
    for (const QPalette::ColorGroup group :
         {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, colour);
    box->setPalette(palette);
}

} // namespace

Frmoption::Frmoption(ProgramContext &context, JobScheduler &scheduler, QWidget *parent)
    : QDialog(parent), m_context(context), m_scheduler(scheduler),
      ui(std::make_unique<Ui::Frmoption>())
{
    ui->setupUi(this);
    for (int i = 0; i < ItemCount; ++i) {
        auto *box = findChild<QCheckBox *>(QStringLiteral("backupitem_%1").arg(i));
        Q_ASSERT(box);
        // As on the main window: the first caption's separators read "&", which a box would
        // otherwise take for a mnemonic.
        box->setText(shownCaption(i).replace(QLatin1Char('&'), QStringLiteral("&&")));
        backupitem.append(box);
    }
    for (QLineEdit *box : passwordBoxes())
        maskWithStars(box);

    // "Keep the last 1 backup", "Keep the last 3 backups".
    const auto nameKept = [this](int kept) {
        ui->lblKeepBackups->setText(kept == 1 ? QStringLiteral("backup")
                                              : QStringLiteral("backups"));
    };
    connect(ui->spnKeep, &QSpinBox::valueChanged, this, nameKept);
    nameKept(ui->spnKeep->value());
    connect(ui->chkDaily, &QCheckBox::toggled, this, &Frmoption::chkDaily_Click);
    connect(ui->ifprotect, &QCheckBox::toggled, this, &Frmoption::ifprotect_Click);
    connect(ui->cmdTargetFile, &QPushButton::clicked, this, &Frmoption::cmdTargetFile_Click);
    connect(ui->Command1, &QPushButton::clicked, this, &Frmoption::Command1_Click);
    connect(ui->Command2, &QPushButton::clicked, this, &Frmoption::Command2_Click);
    connect(ui->Command3, &QPushButton::clicked, this, &Frmoption::Command3_Click);
    // "Cancel", the window's close button and Escape all end the dialog here.
    connect(this, &QDialog::finished, this, &Frmoption::Form_Unload);

    Form_Load();
}

Frmoption::~Frmoption() = default;

void Frmoption::Form_Load()
{
    Skin1.load(Skin::windowSkinPath());
    Skin1.apply(this);
    // After the skin, whose polish would otherwise set the boxes' colours.
    for (QLineEdit *box : passwordBoxes())
        paintPasswordBox(box, false);

    if (!mailClientInstalled(m_context.reg())) {
        m_context.dialogs().message(mailClientMissingText, applicationTitle(), MessageIcon::Error);
        ui->Command3->setEnabled(false);
        return;
    }
    ui->cbSource->setText(m_context.values().LogonUserName.trimmed());
    SetItemAvailability();
    ui->cmbStartTime->addItems(startTimeList());
    // The list opens on the start time too, not on its first entry.
    ui->cmbStartTime->setCurrentIndex(ui->cmbStartTime->findText(defaultStartTime));
}

void Frmoption::SetItemAvailability()
{
    const ItemFlags available = itemAvailability(m_context.reg(), m_context.store());
    for (int i = 0; i < ItemCount; ++i) {
        backupitem[i]->setChecked(false);
        backupitem[i]->setEnabled(available[i]);
    }
}

void Frmoption::chkDaily_Click()
{
    const bool daily = ui->chkDaily->isChecked();
    for (QCheckBox *day : dayBoxes())
        day->setChecked(daily);
}

void Frmoption::ifprotect_Click()
{
    const bool on = ui->ifprotect->isChecked();
    for (QLineEdit *box : passwordBoxes()) {
        box->setEnabled(on);
        paintPasswordBox(box, on);
        box->clear();
    }
}

void Frmoption::cmdTargetFile_Click()
{
    const std::optional<QString> chosen = chooseArchiveToWrite(
        m_context, QStringLiteral("Save Windows Live Mail Data as"), QStringLiteral("brevnor.wlm"));
    if (!chosen)
        return;
    ui->txtTargetFile->setText(*chosen);
    m_context.values().BackupFileName = ui->txtTargetFile->text();
}

void Frmoption::Command1_Click()
{
    frmTasks tasks(m_scheduler, m_context.dialogs(), this);
    tasks.exec();
}

void Frmoption::Command2_Click()
{
    reject();
}

void Frmoption::Command3_Click()
{
    UserDialogs &dialogs = m_context.dialogs();
    const auto refuse = [&dialogs](const QString &text, MessageIcon icon) {
        dialogs.message(text, applicationTitle(), icon);
    };
    const ItemFlags items = tickedItems();
    const QString &archive = m_context.values().BackupFileName;
    const bool protect = ui->ifprotect->isChecked();
    const QString password = ui->txtPassword->text();
    if (std::none_of(items.begin(), items.end(), [](bool ticked) { return ticked; }))
        return refuse(QStringLiteral("Please select at least one item."), MessageIcon::Warning);
    // The job must write the archive the dialog shows, not one the Backup tab chose before.
    if (archive.isEmpty() || archive != ui->txtTargetFile->text())
        return refuse(QStringLiteral("Invalid backup file name."), MessageIcon::Warning);
    if (protect && password.isEmpty() && ui->txtPassword2->text().isEmpty())
        return refuse(QStringLiteral("Please enter Password!"), MessageIcon::Error);
    if (protect && password != ui->txtPassword2->text())
        return refuse(QStringLiteral("Incorect Password!"), MessageIcon::Error);

    JobRequest request;
    request.startTime = ui->cmbStartTime->currentText();
    request.DayList = buildDayList(tickedDays());
    request.items = items;
    request.LogonUserName = m_context.values().LogonUserName;
    request.password = password;
    request.BackupFileName = archive;
    request.programPath = jobProgramPath();
    const Expected<AT_INFO> job = FillJobInfo(request);
    if (!job)
        return refuse(job.message(), MessageIcon::Warning);

    const Expected<quint32> number = m_scheduler.NetScheduleJobAdd(
        *job, FillJobOptions(ui->spnKeep->value(), ui->chkCatchUp->isChecked(), clockNow()));
    if (number && m_scheduler.serviceRuns())
        dialogs.message(QStringLiteral("Task %1 has been scheduled.").arg(*number),
                        applicationTitle(), MessageIcon::None);
    else if (number)
        dialogs.message(QStringLiteral("Task %1 has been scheduled, but no cron service is running "
                                       "on this computer, so it will not run until one is "
                                       "started.")
                            .arg(*number),
                        applicationTitle(), MessageIcon::None);
    else
        dialogs.message(QStringLiteral("Task schedul fail.\n") + number.message(),
                        applicationTitle(), MessageIcon::None);
}

void Frmoption::Form_Unload()
{
    m_context.values().BackupFileName.clear();
}

ItemFlags Frmoption::tickedItems() const
{
    ItemFlags items{};
    for (int i = 0; i < ItemCount; ++i)
        items[i] = backupitem[i]->isChecked();
    return items;
}

WeekDays Frmoption::tickedDays() const
{
    WeekDays days{};
    const QList<QCheckBox *> boxes = dayBoxes();
    for (std::size_t day = 0; day < days.size(); ++day)
        days[day] = boxes[qsizetype(day)]->isChecked();
    return days;
}

QList<QCheckBox *> Frmoption::dayBoxes() const
{
    return {ui->chkMonday, ui->chkTuesday,  ui->chkWednesday, ui->chkThursday,
            ui->chkFriday, ui->chkSaturday, ui->chkSunday};
}

QList<QLineEdit *> Frmoption::passwordBoxes() const
{
    return {ui->txtPassword, ui->txtPassword2};
}

} // namespace quillory
