#pragma once

#include <QString>
#include <QTemporaryDir>

namespace quillory::test {

// A small file system of its own (tmpfs) on a new folder, for the cases of a full disk and a
// read-only one. Mounting needs the right to mount: without it isMounted() is false.
class ScratchFileSystem {
public:
    explicit ScratchFileSystem(qint64 bytes);
    ~ScratchFileSystem();
    ScratchFileSystem(const ScratchFileSystem &) = delete;
    ScratchFileSystem &operator=(const ScratchFileSystem &) = delete;

    bool isMounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    // Takes all the free room.
    bool fill();
    bool makeReadOnly();

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace quillory::test
