#pragma once

#include <QString>

#include <optional>

namespace quillory {

// The room left on the file system that holds a path.
struct FreeSpace {
    quint64 bytes = 0;
    // Where that file system is mounted, to name it to the user.
    QString mountPoint;
};

// Asks how much room a file system has left. A seam: a test cannot make a real file system
// nearly full, so it answers in place of the real one.
class FreeSpaceQuery {
public:
    virtual ~FreeSpaceQuery() = default;
    // The room where `path` is or would be made: a path not yet there is looked up through the
    // nearest folder above it that exists. nullopt when the system cannot say.
    virtual std::optional<FreeSpace> at(const QString &path) const = 0;
};

// The file systems of this computer.
class FileSystemSpace : public FreeSpaceQuery {
public:
    std::optional<FreeSpace> at(const QString &path) const override;
};

} // namespace quillory
