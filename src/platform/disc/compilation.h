#pragma once

#include "platform/result.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct Iso_Image;
struct Iso_Node;

namespace quillory {

// A file of the compilation that comes from the host, as it was when it was added; a file
// imported from the medium has no source path.
struct SourceFile {
    QString key;
    QString sourcePath;
    qint64 size = 0;
    qint64 modified = 0; // seconds since the epoch
};

// What an add met on its way. Unreadable sources and names the compilation already holds refuse
// the whole add; what is left out or shortened is only told.
struct AddReport {
    QStringList unreadable;
    QStringList nameTaken; // disc keys
    QStringList leftOut;   // "path (why)"
    QStringList shortenedForJoliet;

    bool refused() const { return !unreadable.isEmpty() || !nameTaken.isEmpty(); }
    // Why the add was refused, naming every item; empty when it was not.
    QString refusal() const;
    // What was left out or shortened; empty when nothing was.
    QString notes() const;
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
    // The same, and puts back the files and folders added before that the medium does not hold
    // as they are, a file replacing an imported one of the same name. When something cannot be put
    // back (`report` names it) the compilation stays as it was and `image` is let go.
    bool adoptKeeping(Iso_Image *image, AddReport *report);
    Iso_Image *image() const { return m_image; }

    // Both add nothing at all when `report` says the add is refused.
    bool addFile(const QString &key, const QString &sourcePath, const DirectoryAdded &added,
                 const ReplaceImported &replace, AddReport *report = nullptr);
    bool addFolder(const QString &key, const QString &sourceFolder, const DirectoryAdded &added,
                   const ReplaceImported &replace, AddReport *report = nullptr);
    // Takes out every file imported from a medium, and the folders left empty by it; the number
    // of files taken out.
    int dropImported(const std::function<void(const QString &key)> &directoryRemoved);
    bool hasImported() const;
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
    QList<SourceFile> importedFiles() const;
    // The exact size in blocks of a stand-alone image of the compilation.
    Expected<qint64> imageBlocks(bool joliet) const;

    static QString normalizedKey(const QString &key);

private:
    // One item of an add, in the order it is made: folders before what they hold.
    struct Planned {
        QStringList path; // names from the root
        QString source;
        bool directory = false;
        qint64 modified = 0; // for a folder without a source
    };
    QList<Planned> addedItems() const;
    Iso_Node *nodeAt(const QString &key) const;
    Iso_Node *nodeAt(const QStringList &path) const;
    Iso_Node *directoryAt(const QStringList &path, const DirectoryAdded &added);
    void planFolder(const QStringList &path, const QString &folder, QList<Planned> &plan,
                    AddReport &report) const;
    bool addPlanned(const QList<Planned> &plan, const DirectoryAdded &added,
                    const ReplaceImported &replace, AddReport *report);

    Iso_Image *m_image = nullptr;
    mutable std::optional<qint64> m_blocks;
    mutable bool m_blocksJoliet = false;
};

} // namespace quillory
