#pragma once

#include "platform/result.h"
#include "platform/zip/pendingentries.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <sys/types.h>

struct zip;
struct zip_source;

namespace quillory {

class EntryMaker;
class ZipEntry;

namespace zipdetail {
class ArchiveSlices;
class ArchiveStream;
class EntryWorkspace;
} // namespace zipdetail

// A zip archive, either being built (`CreateArchive` … `WriteArchive`) or opened for reading
// (`OpenArchive` … `ExtractAll`). Paths are host paths. Each instance keeps its own state, so
// several can work on different threads at once; one instance is used by one thread at a time.
//
// Writing: nothing is read from the added files before `WriteArchive`, which builds the archive
// under a temporary name beside its target and moves it into place only when it is complete, so
// that an archive already there survives any failure. Protected archives use WinZip AES-256 for
// every file entry. Entries named "*.zip" are stored as they are, all others deflated.
//
// Reading accepts WinZip AES and the traditional PKWARE encryption, and zip64. Extraction keeps
// every entry inside the folder it is given and refuses symbolic links and special files.
class ZipArchive {
public:
    using ProgressCallback = std::function<void(int percent)>;
    // Told how many bytes of the archive have been read so far, and of how many.
    using ReadProgress = std::function<void(quint64 done, quint64 total)>;
    // Told how many more bytes of the archive have been read.
    using ReadIncrement = std::function<void(quint64 bytes)>;

    ZipArchive() = default;
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    // Starts a new, empty archive to be written to `path`; the file is not touched yet.
    Result CreateArchive(const QString &path);
    // Starts a new, empty archive to be written with `WriteStream`; `name` names it in messages.
    void CreateStream(const QString &name);
    // `path` is either a single file, added as one entry named by its bare file name, or a folder
    // pattern, the folder's path followed by "/*.*": every file below the folder (only those
    // directly inside when `recurse` is false), named by its path relative to the folder with "/"
    // between the parts, and every subfolder as a folder entry so that empty ones come back too.
    // Symbolic links below the folder are followed; pipes, sockets and devices are left out. A
    // missing file or folder is refused now, and so is a name already in the archive, so that no
    // added file is silently dropped.
    Result AddFiles(const QString &path, bool recurse = true);
    // Adds the entry `name`, whose bytes `maker` makes only as `WriteArchive` reads them.
    Result AddMadeFile(const QString &name, std::shared_ptr<EntryMaker> maker);
    // Leaves the file `path` leads to out of folders added from now on: the archive a run
    // writes, when it lies in a folder being backed up. The files this layer makes beside an
    // archive while writing it are always left out.
    void leaveOut(const QString &path) { m_leftOut = fileIdentity(path); }
    // Whether `path` leads to the archive being written.
    bool writesTo(const QString &path) const;
    // The archive being written, as an absolute path; empty when none is.
    const QString &targetPath() const { return m_targetPath; }
    void setProtectWithPassword(bool protect) { m_protect = protect; }
    bool ProtectWithPassword() const { return m_protect; }
    // The password for writing a protected archive and for reading one.
    void SetPassword(const QString &password) { m_password = password; }
    // An archive that lives only for the run (staged, then removed) need not wait for the disk;
    // any other is flushed to disk before it takes its name.
    void setDurable(bool durable) { m_durable = durable; }
    // The archive `WriteArchive` replaces is kept under `path` as well (see
    // FileReplacement::keepPreviousAs); empty keeps nothing.
    void keepPreviousAs(const QString &path) { m_keepPreviousAs = path; }
    // Asked again and again while the archive is written (from the writing thread): once it says
    // so, the write stops and fails, as when the run is interrupted.
    void setStopWhen(std::function<bool()> stop) { m_stopWhen = std::move(stop); }
    // `progress` receives the share of the work done, in percent. A protected archive needs a
    // password that is not empty.
    Result WriteArchive(const ProgressCallback &progress = {});
    // Writes the archive as `WriteArchive` does, but hands its bytes in order to `stream`'s reader
    // instead of to a file, and leaves `stream` to be finished by the caller.
    Result WriteStream(zipdetail::ArchiveStream &stream, const ProgressCallback &progress = {});
    // Releases the archive, built or opened; harmless when there is none.
    void CloseArchive();

    // Whether the archive at `path` holds encrypted entries; false also when it cannot be read.
    static bool IsProtected(const QString &path);
    // Opens an existing archive for reading with the password of `SetPassword`, in UTF-8 or else
    // in the legacy code page, the form programs on Windows use. When the archive
    // is encrypted, the smallest encrypted entry is read through, so that a wrong password shows
    // here and not half-way through a restore.
    Result OpenArchive(const QString &path);
    // Empty after a successful `OpenArchive`, the reason after a failed one.
    QString OpenError() const { return m_openError; }
    // Entry names are text: UTF-8, or the legacy code page for names written on Windows.
    QStringList entryNames() const;
    // The name of the entry whose name is exactly these bytes, as the archive stores them.
    std::optional<QString> entryNamedByBytes(const QByteArray &rawName) const;
    Expected<ZipEntry> FindEntry(const QString &name);
    // Writes every entry below `folder` (created when missing), recreating the relative paths.
    // Every entry is checked before anything is written; one that would land outside the folder,
    // a symbolic link, a special file, a name given twice or a file where a folder must go makes
    // the whole call fail. A file replaced is on disk before the old one goes; new files are
    // left to the caller to sync.
    Result ExtractAll(const QString &folder);
    // Writes every entry of the zip archive held as the entry `name` below `folder`, as
    // `ExtractAll` does. A stored nested archive is read where it lies in this archive (and
    // decrypted as it is read), not copied first; its authentication code is not checked here,
    // so verify the entry before. Any other is copied into `scratchFolder` for the time it is
    // read. Small files are inflated whole. A small file that is already exactly as it would be
    // written, at the same place below `unchangedFolder`, with the same time and permissions, is
    // linked from there instead of written; that file is only read. `progress` hears of the
    // nested archive's bytes as they are read.
    Result ExtractNested(const QString &name, const QString &folder, const QString &scratchFolder,
                         const QString &unchangedFolder = {}, const ReadIncrement &progress = {});
    // Checks the zip archive held as the entry `name` as `ExtractNested` would before writing
    // anything (names, links, depth, sizes), from its directory alone, and returns how many bytes
    // its files take once extracted.
    Expected<quint64> PlanNested(const QString &name, const QString &scratchFolder);
    // Reads every file of the zip archive held as the entry `name` through, checking its CRC, as
    // `VerifyEntries` does for this archive's own entries.
    Result VerifyNested(const QString &name, const QString &scratchFolder);
    // One entry of a nested archive, as its directory gives it.
    struct NestedEntry {
        QString name;
        quint64 size = 0;
        bool folder = false;
    };
    // The entries of the zip archive held as the entry `name`, from its directory alone: no
    // entry's data is read. A nested archive that is not stored as it is must be inflated to be
    // read, into `scratchFolder` for the time it is listed.
    Expected<QList<NestedEntry>> NestedEntries(const QString &name, const QString &scratchFolder);
    // How many bytes the entry takes in the archive; 0 when there is no such entry.
    quint64 storedSize(const QString &name) const;
    // Reads the named entries (every entry when `names` is empty) completely, checking their
    // CRC and, when encrypted, the password and authentication code.
    Result VerifyEntries(const QStringList &names = {}, const ReadProgress &progress = {});

private:
    friend class ZipEntry;

    // Whether an archive has been started and may be written now.
    Result readyToWrite() const;
    static Expected<zipdetail::PendingEntries> listFolder(const QString &folder, bool recurse,
                                                          const QString &leftOut);
    // The file a path leads to, links followed, as its folder's canonical path and its name;
    // empty when its folder does not exist.
    static QString fileIdentity(const QString &path);
    // Opens the nested archive `name` (see `ExtractNested`) and hands it to `read`.
    Result readNested(const QString &name, const QString &scratchFolder,
                      const std::function<Result(zipdetail::ArchiveSlices &nested)> &read);
    Result extractEntry(quint64 index, quint64 generation, const QString &folder);
    Expected<QByteArray> readEntry(quint64 index, quint64 generation, quint64 maxBytes);
    quint64 declaredSize(quint64 index, quint64 generation) const;
    Result addPending(zipdetail::PendingEntries added);
    Result requireOpen() const;
    // The first entry named `name` in the open archive.
    Expected<quint64> entryIndex(const QString &name) const;
    // What entry `at` is made from, as found when it was added or looked up now.
    Expected<struct stat> pendingStat(qsizetype at) const;
    // The source of the file entry `at`, which reads its bytes as the entry holds them.
    ::zip_source *pendingSource(qsizetype at, const struct stat &st,
                                zipdetail::EntryWorkspace &workspace, QString *why) const;
    // Why a write failed, when it was stopped or an entry's maker failed; `failed` otherwise.
    Result writeFailure(Result failed) const;
    // Writes the pending entries into `file`, which is replaced.
    Result writeEntries(const QString &file, const ProgressCallback &progress);
    // Writes the pending entries into `target`, a libzip source opened here for writing.
    Result writeEntries(::zip_source *target, const ProgressCallback &progress);

    ::zip *m_zip = nullptr;
    QString m_openPath;
    QString m_openError;
    QByteArray m_openPassword;
    // The first entry of each name, as `entryNames` gives it.
    QHash<QString, quint64> m_entryIndexes;
    // Counts opens and closes, so that an entry from an archive since closed is recognised.
    quint64 m_generation = 0;

    QString m_targetPath;
    QString m_leftOut;
    zipdetail::PendingEntries m_pending;
    bool m_protect = false;
    bool m_durable = true;
    QString m_keepPreviousAs;
    std::function<bool()> m_stopWhen;
    QString m_password;
};

} // namespace quillory
