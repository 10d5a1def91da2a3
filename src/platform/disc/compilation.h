#pragma once

#include "platform/result.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

struct Iso_Image;
struct Iso_Node;

namespace quillory {

// A file of the compilation that comes from the host, as it was when it was added.
struct SourceFile {
    QString key;
    QString sourcePath;
    qint64 size = 0;
    qint64 modified = 0; // seconds since the epoch
};

// The compilation: a libisofs image tree addressed by disc keys ("\" between the parts, root
// "\"). Files that came with an imported session keep their data on the medium; the others are
// read from their source when an image is written.
class Compilation {
public:
    struct Entry {
        QString key;
        QString name;
        bool isDirectory = false;
        QDateTime date;
        qint64 size = 0;
    };
    using DirectoryAdded =
        std::function<void(const QString &parentKey, const QString &key, const QString &name)>;
    // Asked whether a new file may replace the imported file at `key`.
    using ReplaceImported = std::function<bool(const QString &key, const QString &sourcePath)>;

    Compilation();
    ~Compilation();
    Compilation(const Compilation &) = delete;
    Compilation &operator=(const Compilation &) = delete;

    void clear();
    // Takes the tree of an imported session; takes over one reference.
    void adopt(Iso_Image *image);
    Iso_Image *image() const { return m_image; }

    bool addFile(const QString &key, const QString &sourcePath, const DirectoryAdded &added,
                 const ReplaceImported &replace);
    bool addFolder(const QString &key, const QString &sourceFolder, const DirectoryAdded &added,
                   const ReplaceImported &replace);
    // Whether the key named a directory is set in `wasDirectory`.
    bool remove(const QString &key, bool *wasDirectory);
    // Renames the file or directory (as `directory` says) at `key`; the new key on success.
    std::optional<QString> rename(const QString &key, const QString &newName, bool directory);
    QList<Entry> list(const QString &key) const;
    // Reports every directory below the root, parents before their children.
    void announceDirectories(const DirectoryAdded &added) const;
    int fileCount() const;
    int directoryCount() const;
    QList<SourceFile> sourceFiles() const;
    // The exact size in blocks of a stand-alone image of the compilation.
    Expected<qint64> imageBlocks(bool joliet) const;

    static QString normalizedKey(const QString &key);

private:
    Iso_Node *nodeAt(const QString &key) const;
    Iso_Node *directoryAt(const QString &key, const DirectoryAdded &added);
    bool addFolderContents(Iso_Node *directory, const QString &key, const QString &folder,
                           const DirectoryAdded &added, const ReplaceImported &replace);
    bool addFileNode(Iso_Node *directory, const QString &key, const QString &name,
                     const QString &sourcePath, const ReplaceImported &replace);

    Iso_Image *m_image = nullptr;
    mutable std::optional<qint64> m_blocks;
    mutable bool m_blocksJoliet = false;
};

} // namespace quillory
