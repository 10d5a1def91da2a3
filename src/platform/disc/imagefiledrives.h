#pragma once

#include <QStringList>

namespace quillory {

// The image files that stand in for drives: the paths listed in QUILLORY_DISC_DRIVES, separated
// by ":". A path counts when it is a regular file or names a file that does not exist yet in an
// existing folder; folders, devices, pipes and relative paths are left out.
QStringList imageFileDrives();
QStringList usableImageFileDrives(const QString &list);

// The system gives a real drive to one program at a time; an image file gets the same through an
// exclusive lock on it while its drive is selected. A second program (a scheduled burn while the
// window is open) is refused rather than writing sessions the first one does not know of, which
// the first would then write over. A file that does not exist is not held.
class ImageFileLock {
public:
    ImageFileLock() = default;
    explicit ImageFileLock(const QString &path);
    ImageFileLock(ImageFileLock &&other) noexcept;
    ImageFileLock &operator=(ImageFileLock &&other) noexcept;
    ImageFileLock(const ImageFileLock &) = delete;
    ImageFileLock &operator=(const ImageFileLock &) = delete;
    ~ImageFileLock();

    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace quillory
