#pragma once

#include <QList>
#include <QString>

namespace quillory::test {

// Watches this process's own fsync, fdatasync and rename calls (the test executable defines
// them and passes each on to the C library), so that a test can tell whether a file was on the
// disk, as it then was, before it was renamed into place.
class SyncRecorder {
public:
    // Forgets what was recorded so far.
    static void clear();
    // For each rename onto `target` since the last clear, in order: whether the file renamed
    // had been synced with nothing changed in it since.
    static QList<bool> renamesOnto(const QString &target);
};

} // namespace quillory::test
