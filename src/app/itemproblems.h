#pragma once

#include "platform/result.h"

#include <QString>

namespace quillory {

class modReg;

// Why an item cannot be backed up or restored, in the same words on both sides.
Result missingFolder(const QString &folder);
Result noSuchItem(int index);
// Fails when the mail client keeps no settings in the registry for this user, where every
// registry item lives.
Result requireMailSettings(modReg &reg);

} // namespace quillory
