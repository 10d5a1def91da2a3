#pragma once

#include "platform/result.h"

#include <QStringList>

namespace quillory {

struct OpenedBackup;

// The account folders the accounts item of the opened archive holds, in the order listed.
QStringList heldAccounts(const OpenedBackup &state);

// Narrows the accounts item of `state` to the account folders `names` (matched in any case), so
// that a restore replaces those and leaves every other account folder, and the store database,
// as they are. Fails, changing nothing, when the archive holds no such account; the message
// then names the accounts it holds.
Result chooseAccounts(OpenedBackup &state, const QStringList &names);

} // namespace quillory
