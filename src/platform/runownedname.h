#pragma once

#include <QString>
#include <QStringView>

namespace quillory {

// Temporary names that a run leaves in shared places (beside an archive, in the Wine prefix, in
// the store, in the temporary folder) carry the run's process id and its machine, so that a later
// run can tell what a killed run left behind from what a running one still works in, also in a
// folder that several machines share.

// "PID@HOST-RANDOM": the process id of this run, its machine and a random part.
QString runOwnedSuffix();

// Whether `text` ("PID@HOST-…", or "PID-…" as older runs named it) was made by a run of this
// machine whose process is gone. This process, any process that still exists (another user's
// included) and every other machine's run count as present, so their files are kept.
bool madeByGoneRun(QStringView text);

// Whether `name` is one of the files a run makes beside an archive or registry file while it
// writes it ("NAME.quillory-PID@HOST-RANDOM", with libzip's ".XXXXXX" after it while the archive is
// built): such a file is never data of the user's.
bool isRunOwnedTemporary(const QString &name);

} // namespace quillory
