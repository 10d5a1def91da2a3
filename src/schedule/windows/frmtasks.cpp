#include "schedule/windows/frmtasks.h"

#include "ui_frmtasks.h"

#include "app/itemtable.h"
#include "app/windows/columnsharing.h"
#include "platform/clock.h"
#include "platform/cron/jobfile.h"
#include "platform/jobcommand.h"
#include "platform/jobscheduler.h"
#include "platform/userdialogs.h"
#include "schedule/jobrecord.h"
#include "schedule/runtimes.h"
#include "schedule/scheduledbackup.h"
#include "schedule/starttime.h"

#include <QLocale>
#include <QStringList>
#include <QStyle>

namespace quillory {

namespace {

constexpr quint8 everyDay = 0x7f;
constexpr int lastRunColumn = 6;

QString timeText(const QDateTime &time)
{
    return QLocale().toString(time, QLocale::ShortFormat);
}

QString lastRunText(const std::optional<JobRun> &run)
{
    if (!run)
        return QStringLiteral("Not yet");
    return timeText(run->start) + QStringLiteral(", ") + run->resultText();
}

QString nextRunText(const ScheduledJob &scheduled)
{
    const QDateTime next = nextScheduledRun(scheduled, clockNow());
    return next.isValid() ? timeText(next) : QStringLiteral("None");
}

// The job's record; none for a job of the older form, whose runs record nothing.
std::optional<JobRun> lastRun(const ScheduledJob &scheduled)
{
    if (scheduled.jobFile.isEmpty())
        return std::nullopt;
    const Expected<JobRecord> record = readJobRecord(outcomeRecordPath(scheduled.jobFile));
    return record ? record->last : std::nullopt;
}

QString daysText(const ScheduledJob &scheduled)
{
    const quint8 days = scheduled.job.DaysOfWeek;
    if (days == 0)
        return QStringLiteral("Once on %1")
            .arg(QLocale().toString(scheduled.runsOnceOn, QLocale::ShortFormat));
    if (days == everyDay)
        return QStringLiteral("Every day");
    QStringList names;
    for (int day = 0; day < 7; ++day)
        if (days & (1u << day))
            names.append(QLocale().dayName(day + 1));
    return names.join(QStringLiteral(", "));
}

QString itemsText(const ItemFlags &items)
{
    QStringList captions;
    for (int i = 0; i < ItemCount; ++i)
        if (items[i])
            captions.append(shownCaption(i));
    return captions.join(QStringLiteral(", "));
}

// A job whose command is not a backup's, or that cannot run, is still listed, so that it can be
// deleted.
QStringList rowText(const ScheduledJob &scheduled, const std::optional<JobRun> &last)
{
    QStringList row = {QString::number(scheduled.number), startTimeText(scheduled.job.JobTime),
                       daysText(scheduled)};
    const Expected<JobCommand> command = splitJobCommand(scheduled.job.Command);
    const Expected<ScheduledBackup> backup = describeScheduledBackup(scheduled);
    const bool hasArguments = command && !command->arguments.isEmpty();
    if (backup)
        row << itemsText(backup->items) << backup->archivePath;
    else
        row << (hasArguments ? backup.message() : QString()) << QString();
    row << (scheduled.catchesUp ? QStringLiteral("Yes") : QStringLiteral("No")) << lastRunText(last)
        << nextRunText(scheduled);
    row << (command ? command->program : QString()) << scheduled.problem;
    return row;
}

} // namespace

frmTasks::frmTasks(JobScheduler &scheduler, UserDialogs &dialogs, QWidget *parent)
    : QDialog(parent), m_scheduler(scheduler), m_dialogs(dialogs),
      ui(std::make_unique<Ui::frmTasks>())
{
    ui->setupUi(this);
    Skin1.load(Skin::windowSkinPath());
    Skin1.apply(this);

    shareColumnWidths(*ui->lvwTasks);
    connect(ui->lvwTasks, &QTreeWidget::itemSelectionChanged, this,
            [this] { ui->cmdDelete->setEnabled(!ui->lvwTasks->selectedItems().isEmpty()); });
    connect(ui->cmdDelete, &QPushButton::clicked, this, &frmTasks::cmdDelete_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &QDialog::accept);

    ListTasks();
}

frmTasks::~frmTasks() = default;

void frmTasks::ListTasks()
{
    ui->lvwTasks->clear();
    ui->cmdDelete->setEnabled(false);
    const Expected<QList<ScheduledJob>> jobs = m_scheduler.jobs();
    if (!jobs) {
        m_dialogs.message(jobs.message(), applicationTitle(), MessageIcon::Error);
        return;
    }
    for (const ScheduledJob &scheduled : *jobs) {
        const std::optional<JobRun> last = lastRun(scheduled);
        auto *row = new QTreeWidgetItem(ui->lvwTasks, rowText(scheduled, last));
        for (int column = 0; column < row->columnCount(); ++column)
            row->setToolTip(column, row->text(column));
        row->setData(0, Qt::UserRole, scheduled.number);
        if (!scheduled.problem.isEmpty())
            row->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
        if (last && last->failed())
            row->setIcon(lastRunColumn, style()->standardIcon(QStyle::SP_MessageBoxCritical));
        if (last)
            row->setToolTip(lastRunColumn, row->text(lastRunColumn) + QStringLiteral("\n\n") +
                                               last->lines.join(QLatin1Char('\n')));
    }
}

void frmTasks::cmdDelete_Click()
{
    const QList<QTreeWidgetItem *> chosen = ui->lvwTasks->selectedItems();
    if (chosen.isEmpty())
        return;
    const quint32 number = chosen.first()->data(0, Qt::UserRole).toUInt();
    if (m_dialogs.message(QStringLiteral("Do you want to delete task %1?").arg(number),
                          applicationTitle(), MessageIcon::Question,
                          MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    if (const Result removed = m_scheduler.removeJob(number); !removed)
        m_dialogs.message(removed.message(), applicationTitle(), MessageIcon::Error);
    ListTasks();
}

} // namespace quillory
