#pragma once

#include "platform/result.h"

#include <QString>

namespace quillory {

// The hold of one backup or restore on a mail profile: a lock (flock) on a file in the Wine
// prefix, so that two runs never mix their work on one profile, whichever programs start them.
// The kernel lets the lock go when its holder ends, killed or not, so it never outlives a run.
class ProfileLock {
public:
    // Takes the lock of the profile in `prefixPath` without waiting. Fails with
    // `profileBusyText` while another run holds it. A prefix that does not exist, or one this
    // user can only read and that has no lock file, holds nothing a run could mix up: the run
    // then goes on without a lock, and says itself what it misses.
    static Expected<ProfileLock> take(const QString &prefixPath);

    ProfileLock(ProfileLock &&other) noexcept;
    ProfileLock &operator=(ProfileLock &&other) noexcept;
    ProfileLock(const ProfileLock &) = delete;
    ProfileLock &operator=(const ProfileLock &) = delete;
    ~ProfileLock();

    // The name of the lock file in the prefix.
    static QString fileName();

private:
    explicit ProfileLock(int descriptor) : m_descriptor(descriptor) {}

    int m_descriptor = -1;
};

inline const QString profileBusyText =
    QStringLiteral("Another backup or restore of this mail profile is running.");

} // namespace quillory
