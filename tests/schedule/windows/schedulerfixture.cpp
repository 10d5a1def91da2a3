#include "schedulerfixture.h"

#include "schedule/backupjobscheduler.h"

#include <QCheckBox>
#include <QCoreApplication>

namespace quillory::test {

SchedulerFixture::SchedulerFixture(const QString &crontabUser, const QStringList &profileOptions)
{
    loaded = profile.load(profileOptions);
    if (!loaded)
        return;
    // What the start-up said is not the dialog's.
    profile.dialogs.shown.clear();
    scheduler.emplace(backupJobScheduler(profile.prefix(), crontabUser));
    setCronRuns(true);
    dialog = std::make_unique<Frmoption>(*profile.context, *scheduler);
}

void SchedulerFixture::chooseArchive(const QString &path)
{
    profile.dialogs.fileAnswers.enqueue(path);
    click("cmdTargetFile");
}

void SchedulerFixture::setCronRuns(bool runs)
{
    const QString pidFile = cronPlaces.filePath(QStringLiteral("crond.pid"));
    if (runs && writeFile(pidFile, QByteArray::number(QCoreApplication::applicationPid())))
        scheduler->setServiceProbe({QStringLiteral("/proc"), {pidFile}});
    else
        scheduler->setServiceProbe({cronPlaces.filePath(QStringLiteral("no-processes")), {}});
}

void SchedulerFixture::tickItems(const QString &flags) const
{
    for (int i = 0; i < ItemCount; ++i)
        dialog->backupitem[i]->setChecked(flags.at(i) == QLatin1Char('1'));
}

} // namespace quillory::test
