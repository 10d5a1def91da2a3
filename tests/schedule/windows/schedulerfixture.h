#pragma once

#include "backup/backupfixture.h"
#include "platform/cron/crontabscheduler.h"
#include "schedule/windows/frmoption.h"

#include <QPushButton>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace quillory::test {

// A user without a crontab: a dialog on it fails plainly whenever it reaches the scheduler.
inline const QString noSuchCrontabUser = QStringLiteral("qlry-no-such-user");

// The scheduler dialog loaded on a fresh sample profile, submitting to `crontabUser`'s crontab.
struct SchedulerFixture {
    explicit SchedulerFixture(const QString &crontabUser, const QStringList &profileOptions = {});

    template <typename T> T *get(const char *name) const
    {
        return dialog->findChild<T *>(QLatin1String(name));
    }
    void click(const char *name) const { get<QPushButton>(name)->click(); }
    // Picks the archive through the save dialog, as the user would.
    void chooseArchive(const QString &path);
    void tickItems(const QString &flags) const;
    // Whether the scheduler finds a cron daemon: one that runs is stood for by a pid file naming
    // the test itself, none by an empty process folder.
    void setCronRuns(bool runs);
    QStringList messages() const { return profile.dialogs.messageTexts(); }
    ProgramValues &values() const { return profile.context->values(); }

    LoadedProfile profile;
    QTemporaryDir cronPlaces;
    bool loaded = false;
    std::optional<CrontabScheduler> scheduler;
    std::unique_ptr<Frmoption> dialog;
};

} // namespace quillory::test
