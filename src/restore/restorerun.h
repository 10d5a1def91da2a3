#pragma once

#include "app/itemtable.h"
#include "restore/restoremessage.h"

#include <QString>
#include <QStringList>

namespace quillory {

class ProgramContext;
class RunObserver;
class ZipArchive;
struct OpenedBackup;

// Asked, with OK and Cancel, before the window's action button starts a restore.
inline const QString restoreConfirmationText =
    QStringLiteral("Your current Email and News messages will be replaced with the messages "
                   "from the selected backup file.\r\n\r\nDo you want to countinue?");
inline const QString restoreCompletedText = QStringLiteral("The Restore was Completed!");

struct RestoreOutcome {
    // What to show at the end: the report, or why nothing was restored.
    RestoreMessage message;
    // Whether the run got as far as the items: false when it changed nothing.
    bool started = false;
    // Whether the items replaced anything; items that all failed may have left everything as
    // it was.
    bool changed = false;
    // The items whose restorer ran, and those it restored.
    ItemFlags ran{};
    ItemFlags restored{};
    // The items a stop signal kept from running: the item under way when it came is finished,
    // none after it is begun.
    ItemFlags stopped{};
    // One line per item that ran: CR LF, its report name, a TAB, "Successed!" or "Fail!"; then
    // one per item stopped, ending in "Not restored".
    QString report;
    // Why each failed or stopped item was not restored, "name: reason".
    QStringList problems;

    bool allRestored() const { return ran == restored; }
    bool wasStopped() const { return stopped != ItemFlags{}; }
};

// Restores the items that are ticked and that the opened archive holds, in index order. Before
// anything changes it opens the archive again, refusing when the file changed since it was
// opened, and it makes sure that every entry those items need reads back intact and, when
// a registry item is among them, that the registry can be written; otherwise it restores
// nothing and says why. The files go where the context's store locations (loadProgram) say.
// A stop signal (interruptionRequested) ends the run between items. Everything staged is removed
// at the end.
RestoreOutcome performRestore(ProgramContext &context, ZipArchive &Zip1, const OpenedBackup &state,
                              const ItemFlags &ticked, RunObserver &observer);

} // namespace quillory
