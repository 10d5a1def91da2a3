#include "backup/backuprun.h"

#include "app/keyvaluefile.h"
#include "app/programcontext.h"
#include "app/stagingfolder.h"
#include "backup/backupcollectors.h"
#include "backup/backupinfo.h"
#include "platform/runobserver.h"
#include "platform/zip/ziparchive.h"

#include <QDateTime>

#include <algorithm>

namespace quillory {

namespace {

// How far the progress bar moves after each item, chosen or not; the archive write takes the rest.
constexpr int startStep = 10;
constexpr int itemSteps[ItemCount] = {20, 10, 5, 5, 4, 4, 7, 8, 4, 0};

Result writeArchive(ProgramContext &context, ZipArchive &Zip1, const BackupRequest &request,
                    const ItemFlags &stored, RunObserver &observer, int percent)
{
    const QString info = context.values().InfoFilePath;
    if (Result written = SaveINI(QStringLiteral("BackupItem"), itemFlagsText(stored), info);
        !written)
        return written;
    if (Result added = Zip1.AddFiles(info); !added)
        return added;
    Zip1.setProtectWithPassword(request.protect);
    Zip1.SetPassword(request.protect ? request.password : QString());
    const QString step = QStringLiteral("Writing the archive...");
    return Zip1.WriteArchive(
        [&](int done) { observer.progress(step, percent + (100 - percent) * done / 100); });
}

} // namespace

std::optional<InputProblem> checkBackupInput(const QString &archivePath, const ItemFlags &items,
                                             bool protect, const QString &password,
                                             const QString &retyped)
{
    if (archivePath.isEmpty())
        return InputProblem{QStringLiteral("Invalid backup file name."), MessageIcon::Warning};
    if (std::none_of(items.begin(), items.end(), [](bool chosen) { return chosen; }))
        return InputProblem{QStringLiteral("Please select at least one item."),
                            MessageIcon::Warning};
    if (protect && password.isEmpty() && retyped.isEmpty())
        return InputProblem{QStringLiteral("Please enter Password!"), MessageIcon::Error};
    if (protect && password != retyped)
        return InputProblem{QStringLiteral("Incorect Password!"), MessageIcon::Error};
    return std::nullopt;
}

BackupOutcome performBackup(ProgramContext &context, ZipArchive &Zip1, const BackupRequest &request,
                            RunObserver &observer)
{
    BackupOutcome outcome;
    StagingFolder &staging = context.staging();
    if (Result ready = staging.status(); !ready) {
        outcome.archive = ready;
        context.endStaging();
        return outcome;
    }
    const ProgramValues &values = context.values();
    outcome.archive =
        writeBackupInfoHeader(values.InfoFilePath, values.ComputerName, values.LogonUserName,
                              QDateTime::currentDateTime(), request.description);
    if (outcome.archive)
        outcome.archive = Zip1.CreateArchive(request.archivePath);
    if (!outcome.archive) {
        context.endStaging();
        return outcome;
    }
    int percent = startStep;
    observer.progress(QString(), percent);

    BackupCollectors collectors(context, Zip1, request.unattended);
    for (int index = 0; index < ItemCount; ++index) {
        if (request.items[index]) {
            const ItemInfo &item = itemTable()[index];
            observer.progress(item.status, percent);
            const Result collected = collectors.collect(index);
            outcome.stored[index] = collected.ok();
            outcome.log += QStringLiteral("\r\n") + item.logLabel + QLatin1Char('\t') +
                           (collected ? QStringLiteral("Successed!") : QStringLiteral("Fail!"));
            if (!collected)
                outcome.problems.append(item.logLabel + QStringLiteral(": ") + collected.message());
        }
        percent += itemSteps[index];
        observer.progress(QString(), percent);
    }

    outcome.archive = writeArchive(context, Zip1, request, outcome.stored, observer, percent);
    Zip1.CloseArchive();
    context.endStaging();
    observer.progress(QStringLiteral("Operation complete!"), 100);
    return outcome;
}

} // namespace quillory
