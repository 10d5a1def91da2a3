#pragma once

#include <QList>
#include <QString>

#include <utility>

namespace quillory::test {

// Watches this process's own fsync, fdatasync, syncfs and rename calls (the test executable
// defines them and passes each on to the C library), so that a test can tell whether a file was
// on the disk, as it then was, before it was renamed into place, and whether its folder was synced
// after; and makes chosen syncs fail as a failing disk would.
class SyncRecorder {
public:
    // Forgets what was recorded so far, and lets every sync succeed again.
    static void clear();
    // For each rename onto `target` since the last clear, in order: whether the file renamed had
    // been synced with nothing changed in it since, and whether the folder holding `target` was
    // synced after.
    static QList<std::pair<bool, bool>> renamesOnto(const QString &target);
    // Syncs of files and folders whose path matches the regular expression `pattern` fail with
    // EIO until the next clear.
    static void failSyncsOf(const QString &pattern);
};

} // namespace quillory::test
