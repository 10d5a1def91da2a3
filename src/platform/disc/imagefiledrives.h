#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace quillory {

// The image files that stand in for drives: the paths listed in QUILLORY_DISC_DRIVES, separated
// by ":". A path counts when it is a regular file (or a link to one) or names a file that does
// not exist yet in an existing folder; the others are left out with the reason.
struct ImageFileDriveList {
    QStringList usable;
    QList<std::pair<QString, QString>> leftOut; // path, why
};
ImageFileDriveList sortImageFileDrives(const QString &list);
QStringList imageFileDrives();
QStringList usableImageFileDrives(const QString &list);

// The system gives a real drive to one program at a time; an image file gets the same through an
// exclusive lock on it while its drive is selected. A second program (a scheduled burn while the
// window is open) is refused rather than writing sessions the first one does not know of, which
// the first would then write over. A file that does not exist yet is made and locked at once, so
// that two programs can never both start one; the lock takes it away again when it stayed empty.
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
    // Whether the lock was not had because another program holds it.
    bool inUse() const { return m_inUse; }

private:
    void let();

    int m_fd = -1;
    bool m_inUse = false;
    bool m_created = false;
    QString m_path;
};

} // namespace quillory
