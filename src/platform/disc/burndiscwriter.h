#pragma once

#include "platform/disc/burnlibrary.h"
#include "platform/disc/compilation.h"
#include "platform/disc/discwriter.h"
#include "platform/disc/drivescan.h"
#include "platform/disc/imagefiledrives.h"
#include "platform/disc/mediafacts.h"

#include <QList>
#include <QMutex>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace burn {
struct burn_drive;
struct burn_drive_info;
struct burn_disc;
struct burn_write_opts;
} // namespace burn

namespace quillory {

// The disc writer on libburn, libisofs and libisoburn. Recorders come from libburn's scan;
// image files named by QUILLORY_DISC_DRIVES stand in as drives through libburn's "stdio:"
// pseudo-drives. The selected drive stays acquired until another is selected. Long operations
// run on one worker thread, which owns the drive meanwhile; their events are emitted on the
// thread this object lives on.
class BurnDiscWriter final : public DiscWriter {
    Q_OBJECT

public:
    explicit BurnDiscWriter(QObject *parent = nullptr);
    ~BurnDiscWriter() override;

    bool InitializeDrives(bool reserved) override;
    int DeviceCount() const override { return int(m_drives.size()); }
    bool DeviceIsWriter(int index) const override;
    QString DeviceDrive(int index) const override;
    QString DeviceVendor(int index) const override;
    QString DeviceProduct(int index) const override;
    bool SelectDevice(int index) override;
    int MediaType() const override { return facts().mediaType; }
    int MaxWriteSpeed() const override { return facts().maxWriteSpeed; }
    void SetWriteSpeed(int kilobytesPerSecond) override { m_writeSpeed = kilobytesPerSecond; }
    bool DriveSupports(int capability) const override;
    bool MoveTray(bool close) override;

    void ClearImage() override;
    bool AddFile(const QString &discPath, const QString &sourcePath) override;
    bool AddFolder(const QString &discPath, const QString &sourceFolder) override;
    bool RemoveItem(const QString &key) override;
    bool RenameFile(const QString &key, const QString &newName) override;
    bool RenameDirectory(const QString &key, const QString &newName) override;
    void ListDirectory(const QString &key) override;
    qint64 ImageBlocks() override;
    int FileCount() const override { return m_compilation.fileCount(); }
    bool HasImportedFiles() const override { return m_compilation.hasImported(); }
    int DirectoryCount() const override { return m_compilation.directoryCount(); }

    bool StartWrite() override;
    bool WriteImageFile(const QString &path) override;
    bool SaveImageToFile(const QString &path) override;
    void AbortWrite() override { m_cancel = true; }
    bool ImportSession(bool reserved) override;
    bool CloseMedia(bool finalize) override;
    bool EraseDisc(bool quick) override;
    bool Busy() const override { return m_busy; }

    int SessionCount() const override { return facts().sessions; }
    int DiscStatus() const override { return facts().discStatus; }
    int DiscType() const override { return facts().discType; }
    int LastSessionState() const override { return facts().lastSessionState; }
    qint64 FreeBlocks() const override { return facts().freeBlocks; }
    qint64 UsedBlocks() const override { return facts().usedBlocks; }
    qint64 CapacityBlocks() const override { return facts().usedBlocks + facts().freeBlocks; }
    bool MultiSessionAllowed() const override { return facts().multiSession; }
    bool ImportAllowed() const override { return facts().importable; }
    bool HasFileSystem(int fileSystem) const override
    {
        return (facts().fileSystems & fileSystem) != 0;
    }

private:
    struct BurnOutcome {
        bool cancelled = false;
        bool wroteWell = false;
        QList<BurnMessage> messages;
    };
    // The size and existence of an image-file drive's file before a write, to put it back when
    // the write does not complete.
    struct ImageFileState {
        qint64 size = 0;
        bool blank = false;
    };

    // How often a running operation looks at the drive.
    static constexpr std::chrono::milliseconds pollInterval{50};

    static QString megabytes(qint64 blocks);
    MediaFacts facts() const;
    // Whether no operation runs; waits for a finished worker to end.
    bool settled();
    bool refuse(const QString &reason);
    bool ready(const QString &operation);
    const DiscDrive *selected() const;
    bool grab();
    void release(bool eject);
    void reassess();
    bool startJob(std::function<void()> job);
    template <typename Emit> void post(Emit emit);
    // Ends the operation: the owner may start the next one when the event arrives.
    template <typename Emit> void finish(Emit emit);
    using Adding = bool (Compilation::*)(const QString &, const QString &,
                                         const Compilation::DirectoryAdded &,
                                         const Compilation::ReplaceImported &, AddReport *);
    bool add(Adding adding, const QString &discPath, const QString &source);
    // Takes imported files out of the compilation when their medium may have gone.
    void forgetImported();
    // Why the compilation cannot be written to `imagePath`: it holds that very file.
    std::optional<QString> holdsFile(const QString &imagePath) const;
    void announceAdded(const QString &parent, const QString &key, const QString &name);
    bool askReplace(const QString &key, const QString &sourcePath);
    // Source files that vanished or changed since they were added, reported as file errors.
    bool sourcesChanged(const QList<SourceFile> &files);
    // Whether the write only simulates is set in `simulated`.
    burn::burn_write_opts *newWriteOptions(bool allowMulti, bool *simulated) const;
    BurnOutcome runBurn(bool finalize);
    void reportFailure(const BurnOutcome &outcome, const QString &what);
    ImageFileState imageFileState() const;
    void restoreImageFile(const ImageFileState &state);
    void writeSession();
    void writeImage(const QString &path);
    void verify(const QList<SourceFile> &files);

    BurnLibrary m_library;
    QList<DiscDrive> m_drives;
    int m_selected = -1;
    ImageFileLock m_imageLock;
    burn::burn_drive_info *m_info = nullptr;
    burn::burn_drive *m_drive = nullptr;
    mutable QMutex m_factsLock;
    MediaFacts m_facts;
    int m_writeSpeed = 0;
    Compilation m_compilation;
    std::thread m_worker;
    std::atomic<bool> m_busy = false;
    bool m_importReadable = false;
    std::atomic<bool> m_cancel = false;
};

template <typename Emit> void BurnDiscWriter::post(Emit emit)
{
    QMetaObject::invokeMethod(this, std::move(emit), Qt::QueuedConnection);
}

template <typename Emit> void BurnDiscWriter::finish(Emit emit)
{
    BurnLibrary::takeMessages();
    m_busy = false;
    post(std::move(emit));
}

} // namespace quillory
