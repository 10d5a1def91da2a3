#include "backup/backuprun.h"

#include "app/keyvaluefile.h"
#include "app/programcontext.h"
#include "app/stagingfolder.h"
#include "app/storediscovery.h"
#include "backup/backupcollectors.h"
#include "backup/backupinfo.h"
#include "backup/generations.h"
#include "backup/nestedarchives.h"
#include "platform/runobserver.h"
#include "platform/zip/ziparchive.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace quillory {

namespace {

// How far the progress bar moves after each item, chosen or not; the archive write takes the rest.
constexpr int startStep = 10;
constexpr int itemSteps[ItemCount] = {20, 10, 5, 5, 4, 4, 7, 8, 4, 0};

// The accounts' nested archives are built while the archive is written, as it takes them in:
// the bar moves with that write and with those builds alike, also while the write waits for one.
class WriteProgress {
public:
    explicit WriteProgress(RunObserver &observer) : m_observer(observer) {}

    // From here the bar runs from `from` to 100; `built` is null when no account is stored.
    void begin(int from, const NestedProgress *built)
    {
        m_from = from;
        m_built = built;
        m_writing = true;
    }
    void written(int percent)
    {
        m_written = std::clamp(percent, 0, 100);
        report();
    }
    void report()
    {
        if (!m_writing)
            return;
        double share = m_written / 100.0;
        if (m_built)
            share = (share + m_built->share()) / 2;
        m_observer.progress(QStringLiteral("Writing the archive..."),
                            m_from + int((100 - m_from) * share));
        if (m_built)
            m_observer.bytes(m_built->done(), m_built->total());
    }

private:
    RunObserver &m_observer;
    int m_from = 0;
    const NestedProgress *m_built = nullptr;
    int m_written = 0;
    bool m_writing = false;
};

Result writeArchive(ProgramContext &context, ZipArchive &Zip1, const BackupRequest &request,
                    const ItemFlags &stored, WriteProgress &progress)
{
    const QString info = context.values().InfoFilePath;
    if (Result written = SaveINI(QStringLiteral("BackupItem"), itemFlagsText(stored), info);
        !written)
        return written;
    if (Result added = Zip1.AddFiles(info); !added)
        return added;
    Zip1.setProtectWithPassword(request.protect);
    Zip1.SetPassword(request.protect ? request.password : QString());
    progress.report();
    return Zip1.WriteArchive([&progress](int done) { progress.written(done); });
}

bool isSet(bool flag)
{
    return flag;
}

// The file a path names once every link on the way is followed, also where it does not exist
// yet.
QString followed(const QString &path)
{
    const QFileInfo file(path);
    if (const QString canonical = file.canonicalFilePath(); !canonical.isEmpty())
        return canonical;
    const QString folder = file.dir().canonicalPath();
    return folder.isEmpty() ? file.absoluteFilePath() : folder + QLatin1Char('/') + file.fileName();
}

// An archive written over a file the run reads would destroy what it backs up: the registry
// files, say, leaving every later run without a mail client to back up. An archive (".wlm")
// kept inside the store stays possible: no file of the mail client's has that name, and the run
// leaves the archive it writes out.
Result checkTargetOutsideProfile(ProgramContext &context, const QString &archivePath)
{
    const QString target = followed(archivePath);
    const QString refused =
        QStringLiteral("%1 is a file of the mail profile being backed up.").arg(archivePath);
    const QDir prefix(context.prefixPath());
    for (const char *registryFile : {"user.reg", "system.reg", "userdef.reg"})
        if (target == followed(prefix.filePath(QLatin1String(registryFile))))
            return Result::failure(refused);
    const StoreLocations &store = context.store();
    for (const QString &folder :
         {store.StoreFolder, store.contactsFolder(), store.stationeryFolder}) {
        const QString inside = folder.isEmpty() ? QString() : followed(folder);
        if (inside.isEmpty() || (target != inside && !target.startsWith(inside + QLatin1Char('/'))))
            continue;
        if (target == inside || !target.endsWith(QLatin1String(".wlm"), Qt::CaseInsensitive))
            return Result::failure(refused);
    }
    return Result::success();
}

// What every item needs: a staging folder and, once anything is chosen, the mail store. Without
// them every item would fail, and the empty archive would replace the last good one.
Result checkSurroundings(ProgramContext &context, const QString &archivePath,
                         const ItemFlags &items)
{
    if (Result ready = context.staging().status(); !ready)
        return ready;
    if (std::none_of(items.begin(), items.end(), isSet))
        return Result::success();
    const StoreLocations &store = context.store();
    if (store.status != StoreStatus::Found || !QFileInfo(store.StoreFolder).isDir())
        return Result::failure(
            QStringLiteral("No Windows Live Mail store was found in the Wine prefix %1.")
                .arg(context.prefixPath()));
    return checkTargetOutsideProfile(context, archivePath);
}

QString quoted(const QStringList &names)
{
    QStringList quoted;
    for (const QString &name : names)
        quoted.append(QLatin1Char('"') + name + QLatin1Char('"'));
    return quoted.join(QStringLiteral(", "));
}

QString leftOutNote(const QStringList &names)
{
    return QStringLiteral("Left out, as a name holding \";\", a line break or blanks at either end "
                          "cannot be restored: ") +
           quoted(names);
}

QString undecodableNote(const QStringList &names)
{
    return QStringLiteral("Left out, as a name that is no UTF-8 text cannot be stored (rename it "
                          "to store it): ") +
           quoted(names);
}

} // namespace

std::optional<InputProblem> checkBackupInput(const QString &archivePath, const ItemFlags &items,
                                             bool protect, const QString &password,
                                             const QString &retyped)
{
    if (archivePath.isEmpty())
        return InputProblem{QStringLiteral("Invalid backup file name."), MessageIcon::Warning};
    if (std::none_of(items.begin(), items.end(), isSet))
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
    outcome.archive = checkSurroundings(context, request.archivePath, request.items);
    if (outcome.archive) {
        const ProgramValues &values = context.values();
        outcome.archive =
            writeBackupInfoHeader(values.InfoFilePath, values.ComputerName, values.LogonUserName,
                                  QDateTime::currentDateTime(), request.description);
    }
    if (outcome.archive)
        outcome.archive = Zip1.CreateArchive(request.archivePath);
    if (!outcome.archive) {
        context.endStaging();
        return outcome;
    }
    int percent = startStep;
    observer.progress(QString(), percent);

    WriteProgress writing(observer);
    const auto built = std::make_shared<NestedProgress>([&writing] { writing.report(); });
    BackupCollectors collectors(context, Zip1, request.unattended);
    collectors.takeChecks(request.checkedFolders);
    // Reading the account folders through is the part of their work done within the item.
    collectors.watchAccounts(
        [&observer, &percent](double share) {
            observer.progress(QString(), percent + int(itemSteps[ItemMailAccounts] * share));
        },
        built);
    for (int index = 0; index < ItemCount && outcome.archive; ++index) {
        if (request.items[index]) {
            const ItemInfo &item = itemTable()[index];
            observer.progress(item.status, percent);
            const CollectedItem collected = collectors.collect(index);
            outcome.stored[index] = collected.result.ok();
            outcome.log +=
                QStringLiteral("\r\n") + item.logLabel + QLatin1Char('\t') +
                (collected.result ? QStringLiteral("Successed!") : QStringLiteral("Fail!"));
            if (collected.environmentFailed)
                outcome.archive = Result::failure(item.logLabel + QStringLiteral(": ") +
                                                  collected.result.message());
            else if (!collected.result)
                outcome.problems.append(item.logLabel + QStringLiteral(": ") +
                                        collected.result.message());
            for (const QString &note :
                 {collected.leftOut.isEmpty() ? QString() : leftOutNote(collected.leftOut),
                  collected.undecodable.isEmpty() ? QString()
                                                  : undecodableNote(collected.undecodable)}) {
                if (note.isEmpty())
                    continue;
                outcome.log += QStringLiteral("\r\n") + note;
                outcome.problems.append(item.logLabel + QStringLiteral(": ") + note);
            }
        }
        percent += itemSteps[index];
        observer.progress(QString(), percent);
    }

    const bool anyChosen = std::any_of(request.items.begin(), request.items.end(), isSet);
    const bool anyStored = std::any_of(outcome.stored.begin(), outcome.stored.end(), isSet);
    // An archive without any of the chosen items would only replace a better one.
    if (outcome.archive && anyChosen && !anyStored)
        outcome.archive = Result::failure(
            QStringLiteral(
                "None of the chosen items could be stored, so no archive was written.\n") +
            outcome.problems.join(QLatin1Char('\n')));
    if (outcome.archive) {
        writing.begin(percent, outcome.stored[ItemMailAccounts] ? built.get() : nullptr);
        if (request.keep > 1)
            Zip1.keepPreviousAs(previousGenerationPath(request.archivePath));
        outcome.archive = writeArchive(context, Zip1, request, outcome.stored, writing);
        if (outcome.archive && request.keep > 1)
            outcome.problems += keepGenerations(request.archivePath, request.keep);
    }
    Zip1.CloseArchive();
    context.endStaging();
    observer.progress(QStringLiteral("Operation complete!"), 100);
    return outcome;
}

} // namespace quillory
