#include "restore/restorerun.h"

#include "app/programcontext.h"
#include "app/stagingfolder.h"
#include "platform/interruption.h"
#include "platform/registrystore.h"
#include "platform/runobserver.h"
#include "platform/wine/wineserverprobe.h"
#include "platform/zip/ziparchive.h"
#include "restore/itementries.h"
#include "restore/itemrestorers.h"
#include "restore/openedbackup.h"
#include "restore/restoreitems.h"

#include <QSet>

#include <algorithm>

namespace quillory {

namespace {

// How far the progress moves before each item, whether or not it runs; the end fills the rest.
constexpr int itemSteps[ItemCount] = {5, 15, 14, 10, 5, 5, 5, 5, 5, 5};
// The part of the first item's share that the check of the archive takes: reading at memory
// speed, it is quicker per byte than writing the files.
constexpr int checkSteps = 5;

// Where the progress stands when item `index` starts; past the last item, the end.
int progressBefore(int index)
{
    if (index >= ItemCount)
        return 100;
    int percent = 0;
    for (int step = 0; step <= index; ++step)
        percent += itemSteps[step];
    return percent;
}

// Moves the progress forward, never back, without changing the step's text.
class ProgressBar {
public:
    explicit ProgressBar(RunObserver &observer) : m_observer(observer) {}

    int value() const { return m_percent; }
    void step(const QString &text, int percent)
    {
        m_percent = std::max(m_percent, percent);
        m_observer.progress(text, m_percent);
    }
    // Places the progress at `share` of the way from `from` to `to`.
    void advance(int from, int to, double share)
    {
        const int percent = from + int(share * (to - from));
        if (percent > m_percent)
            step(QString(), percent);
    }

private:
    RunObserver &m_observer;
    int m_percent = 0;
};

bool archiveChanged(const OpenedBackup &state)
{
    const std::optional<ArchiveStamp> now = archiveStamp(state.archivePath);
    return !now || !state.stamp || *now != *state.stamp;
}

// The Backup tab writes through the same archive object, which closes the archive opened here,
// and may even have replaced the file: what is restored must be the archive the user saw opened.
Result reopenArchive(ZipArchive &Zip1, const OpenedBackup &state)
{
    const Result changed = Result::failure(
        QStringLiteral("Nothing was restored: the backup file %1 has changed since it was "
                       "opened. Open it again, then restore.")
            .arg(state.archivePath));
    if (archiveChanged(state))
        return changed;
    Zip1.CloseArchive();
    Zip1.SetPassword(state.password);
    if (Result opened = Zip1.OpenArchive(state.archivePath); !opened)
        return Result::failure(
            QStringLiteral("Nothing was restored: the backup file %1 cannot be opened again: %2")
                .arg(state.archivePath, opened.message()));
    if (archiveChanged(state)) {
        Zip1.CloseArchive();
        return changed;
    }
    return Result::success();
}

// Checks what would otherwise fail half-way, after data has been replaced: an entry that does
// not read back intact, and a registry that cannot be written because Wine holds it.
Result checkBeforeChanges(ProgramContext &context, ZipArchive &Zip1, const OpenedBackup &state,
                          const ItemFlags &items, const ZipArchive::ReadProgress &progress)
{
    bool registryItems = false;
    for (int index = 0; index < ItemCount; ++index)
        registryItems = registryItems || (items[index] && isRegistryItem(index));
    if (registryItems)
        if (Result writable = context.registry().checkWritable(RegistryRoot::CurrentUser);
            !writable)
            // Closing Wine helps only when Wine is what holds the registry.
            return Result::failure(
                (runningWineserver(context.prefixPath())
                     ? QStringLiteral("Nothing was restored: close Windows Live Mail and Wine "
                                      "first, then restore again.\r\n\r\n%1.")
                     : QStringLiteral("Nothing was restored: the registry of the mail profile "
                                      "cannot be written.\r\n\r\n%1."))
                    .arg(writable.message()));

    const QStringList names = Zip1.entryNames();
    const QSet<QString> archiveEntries(names.begin(), names.end());
    QStringList needed;
    for (int index = 0; index < ItemCount; ++index)
        if (items[index])
            // An item whose names are unusable fails by itself without writing anything.
            if (const Expected<QStringList> entries = itemEntries(state, index, archiveEntries))
                needed += *entries;
    if (needed.isEmpty())
        return Result::success();
    if (Result intact = Zip1.VerifyEntries(needed, progress); !intact)
        return Result::failure(QStringLiteral("Nothing was restored: %1").arg(intact.message()));
    // An account archive that would be refused half-way through the accounts is refused before
    // the first of them is replaced: its directory tells, without its data being read.
    for (const QString &name : needed) {
        if (!isFolderArchive(name))
            continue;
        if (Result ready = context.staging().status(); !ready)
            return ready;
        if (const Expected<quint64> planned = Zip1.PlanNested(name, context.staging().path());
            !planned)
            return Result::failure(
                QStringLiteral("Nothing was restored: %1").arg(planned.message()));
    }
    return Result::success();
}

} // namespace

RestoreOutcome performRestore(ProgramContext &context, ZipArchive &Zip1, const OpenedBackup &state,
                              const ItemFlags &ticked, RunObserver &observer)
{
    RestoreOutcome outcome;
    if (state.invalidArchive) {
        outcome.message = {QStringLiteral("Invalid backup file."), MessageIcon::Error};
        return outcome;
    }
    if (std::none_of(ticked.begin(), ticked.end(), [](bool t) { return t; })) {
        outcome.message = {QStringLiteral("Please select at least one item."),
                           MessageIcon::Warning};
        return outcome;
    }
    ItemFlags items{};
    for (int index = 0; index < ItemCount; ++index)
        items[index] = ticked[index] && state.held[index];

    ProgressBar bar(observer);
    bar.step(QString(), progressBefore(0));
    Result ready = Result::success();
    if (std::any_of(items.begin(), items.end(), [](bool run) { return run; }))
        ready = reopenArchive(Zip1, state);
    if (ready) {
        const int from = bar.value();
        ready = checkBeforeChanges(context, Zip1, state, items, [&](quint64 done, quint64 total) {
            bar.advance(from, from + checkSteps, total ? double(done) / double(total) : 1.0);
            observer.bytes(done, total);
        });
    }
    if (!ready) {
        context.endStaging();
        outcome.message = {ready.message(), MessageIcon::Error};
        return outcome;
    }

    outcome.started = true;
    ItemRestorers restorers(context, Zip1, state);
    for (int index = 0; index < ItemCount; ++index) {
        if (index > 0)
            bar.step(QString(), progressBefore(index));
        if (!items[index])
            continue;
        const RestoreItemInfo &item = restoreItemTable()[index];
        // Stopped between items, never within one: every item is restored whole or not at all.
        if (interruptionRequested()) {
            outcome.stopped[index] = true;
            continue;
        }
        bar.step(item.progress, progressBefore(index));
        const int from = bar.value();
        const Result restored = restorers.restore(
            index, [&](double share) { bar.advance(from, progressBefore(index + 1), share); });
        outcome.ran[index] = true;
        outcome.restored[index] = restored.ok();
        outcome.report += QStringLiteral("\r\n") + item.reportName + QLatin1Char('\t') +
                          (restored ? QStringLiteral("Successed!") : QStringLiteral("Fail!"));
        if (!restored)
            outcome.problems.append(item.reportName + QStringLiteral(": ") + restored.message());
    }
    outcome.changed = restorers.changedAnything();
    context.endStaging();
    observer.progress(QStringLiteral("Operation complete!"), 100);
    QString heading = restoreCompletedText;
    if (outcome.wasStopped()) {
        heading = interruptionText();
        for (int index = 0; index < ItemCount; ++index) {
            if (!outcome.stopped[index])
                continue;
            const QString &name = restoreItemTable()[index].reportName;
            outcome.report += QStringLiteral("\r\n") + name + QStringLiteral("\tNot restored");
            outcome.problems.append(name + QStringLiteral(": ") + heading);
        }
    }
    outcome.message = {heading + QStringLiteral("\r\n") + outcome.report,
                       outcome.wasStopped() ? MessageIcon::Warning : MessageIcon::Information,
                       outcome.problems.join(QStringLiteral("\r\n"))};
    return outcome;
}

} // namespace quillory
