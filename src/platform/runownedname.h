#pragma once

#include <QString>
#include <QStringView>

namespace quillory {

// Temporary names that a run leaves in shared places (beside an archive, in the Wine prefix, in
// the store, in the temporary folder) carry the run's process id, so that a later run can tell
// what a killed run left behind from what a running one still works in.

// "PID-RANDOM": the process id of this run and a random part.
QString runOwnedSuffix();

// Whether `text` ("PID-…") was made by a run whose process is gone. This process and any process
// that still exists (another user's included) count as present, so their files are kept.
bool madeByGoneRun(QStringView text);

// Whether `name` is one of the files a run makes beside an archive or registry file while it
// writes it ("NAME.quillory-PID-RANDOM", with libzip's ".XXXXXX" after it while the archive is
// built): such a file is never data of the user's.
bool isRunOwnedTemporary(const QString &name);

} // namespace quillory
