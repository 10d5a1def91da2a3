#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

namespace quillory {

// The disc-writing component: the recorders, the compilation (the files and directories that will
// form a disc), its options, and the long operations (writing, image files, erasing, closing).
//
// Keys are disc paths with "\" between the parts; the root is "\". Calls that only read or change
// the compilation report through their events before they return. The long operations return at
// once with true when they started and report the rest through events, which reach the object's
// owner on the owner's thread. While one runs, `Busy` is true, the compilation stays as it is
// and the drive facts keep the values read before it started.
class DiscWriter : public QObject {
    Q_OBJECT

public:
    // `MediaType` codes. Profiles without a code of their own (DVD-R dual layer, Blu-ray) answer
    // `MediaOtherDvd`, which a window treats like any other DVD.
    enum Media {
        MediaDvdRom = 0,
        MediaDvdRam = 1,
        MediaDvdR = 2,
        MediaDvdRw = 3,
        MediaDvdPlusRw = 9,
        MediaDvdPlusR = 10,
        MediaOtherDvd = 100,
        MediaDvdPlusRDualLayer = 252,
        MediaCdRw = 253,
        MediaNone = 254,
        MediaCdR = 255,
    };
    // `DriveSupports` capability numbers.
    enum Capability {
        SupportsCdRw = 7,
        SupportsDvdRam = 10,
        SupportsBufferProtection = 36,
        SupportsDvdRw = 37,
        SupportsDvdPlusRw = 39,
    };
    enum DiscState { DiscEmpty = 0, DiscOpen = 1, DiscClosed = 2, DiscUnknown = 3 };
    enum SessionState {
        SessionEmpty = 0,
        SessionIncomplete = 1,
        SessionUnknown = 2,
        SessionClosed = 3
    };
    enum CdType { CdRom = 0, CdI = 16, CdRomXa = 32, CdUnknown = 255 };
    // `HasFileSystem` bits.
    enum FileSystem {
        FileSystemOther = 2,
        FileSystemIso9660 = 4,
        FileSystemJoliet = 8,
        FileSystemUdf = 16
    };
    // `WriteError` categories: a source file of the compilation, an operation the medium or the
    // drive refused without a drive error, and an error the drive reported (with a drive code).
    enum ErrorCategory { ErrorSourceFile = 1, ErrorRefused = 2, ErrorDrive = 3 };
    // `FileError` codes.
    enum FileErrorKind { FileOpenError = 0, FileCloseError = 1, FileReadError = 2 };
    // `VerifyProgress` statuses.
    enum VerifyStatus {
        VerifySourceUnreadable = 0,
        VerifyDiscUnreadable = 1,
        VerifyContentDiffers = 2,
        VerifyMatched = 4,
        VerifySizeDiffers = 5
    };
    static constexpr qint64 BlockSize = 2048;
    // Images allow files over 4 GiB.
    static constexpr int ImageIsoLevel = 3;

    using QObject::QObject;

    // Drives. Recorders and the image files named by QUILLORY_DISC_DRIVES, in that order.
    virtual bool InitializeDrives(bool reserved) = 0;
    virtual int DeviceCount() const = 0;
    virtual bool DeviceIsWriter(int index) const = 0;
    virtual QString DeviceDrive(int index) const = 0;
    virtual QString DeviceVendor(int index) const = 0;
    virtual QString DeviceProduct(int index) const = 0;
    virtual bool SelectDevice(int index) = 0;
    virtual int MediaType() const = 0;
    // KB/s; 0 when unknown.
    virtual int MaxWriteSpeed() const = 0;
    virtual void SetWriteSpeed(int kilobytesPerSecond) = 0;
    virtual bool DriveSupports(int capability) const = 0;
    virtual bool MoveTray(bool close) = 0;

    // The compilation.
    virtual void ClearImage() = 0;
    // An add is refused as a whole, with `LastError` naming the items, when a source cannot be
    // read or the compilation already holds an item of the same name; what it left out (links
    // to folders, links to nothing, pipes and devices) or Joliet shortens is in `AddNotes`.
    // A file's `discPath` ending in "\\" names the directory to add it to, under its own name
    // (which may hold a backslash itself).
    virtual bool AddFile(const QString &discPath, const QString &sourcePath) = 0;
    // `sourceFolder` may end in "\*.*" or "/*.*": the folder and everything below it.
    virtual bool AddFolder(const QString &discPath, const QString &sourceFolder) = 0;
    QString AddNotes() const { return m_addNotes; }
    // Whether the compilation holds files imported from the medium in the drive.
    virtual bool HasImportedFiles() const = 0;
    virtual bool RemoveItem(const QString &key) = 0;
    virtual bool RenameFile(const QString &key, const QString &newName) = 0;
    virtual bool RenameDirectory(const QString &key, const QString &newName) = 0;
    virtual void ListDirectory(const QString &key) = 0;
    QString VolumeLabel() const { return m_volumeLabel; }
    // At most 32 characters; a longer label is cut.
    void setVolumeLabel(const QString &label) { m_volumeLabel = label.left(32); }
    int JolietNames() const { return m_jolietNames; }
    void setJolietNames(int on) { m_jolietNames = on; }
    int IsoLevel() const { return ImageIsoLevel; }
    // The exact number of blocks of the image `SaveImageToFile` would write now.
    virtual qint64 ImageBlocks() = 0;
    virtual int FileCount() const = 0;
    virtual int DirectoryCount() const = 0;
    // Blocks of user data are 2048 bytes in every track mode, so the mode changes nothing.
    static qint64 BlocksToBytes(qint64 blocks, int mode)
    {
        Q_UNUSED(mode);
        return blocks * BlockSize;
    }

    // Options, read when an operation starts.
    bool AutoVerify() const { return m_autoVerify; }
    void setAutoVerify(bool on) { m_autoVerify = on; }
    bool FinalizeDisc() const { return m_finalizeDisc; }
    void setFinalizeDisc(bool on) { m_finalizeDisc = on; }
    bool FixedWriteOption() const { return m_fixedWrite; }
    void setFixedWriteOption(bool on) { m_fixedWrite = on; }
    bool CacheImage() const { return m_cacheImage; }
    void setCacheImage(bool on) { m_cacheImage = on; }
    bool TestWrite() const { return m_testWrite; }
    void setTestWrite(bool on) { m_testWrite = on; }
    bool DvdHighCompatibility() const { return m_dvdHighCompatibility; }
    void setDvdHighCompatibility(bool on) { m_dvdHighCompatibility = on; }
    // 1 Mode1, 2 Mode2XA.
    int TrackMode() const { return m_trackMode; }
    void setTrackMode(int mode) { m_trackMode = mode; }
    bool BufferProtection() const { return m_bufferProtection; }
    void SetBufferProtection(bool on) { m_bufferProtection = on; }

    // Operations.
    virtual bool StartWrite() = 0;
    virtual bool WriteImageFile(const QString &path) = 0;
    // Returns when the image is complete, running the owner's events meanwhile.
    virtual bool SaveImageToFile(const QString &path) = 0;
    virtual void AbortWrite() = 0;
    // Puts the newest session's files into the compilation; what was added before and is not on
    // the medium as it is stays, and replaces an imported file of the same name.
    virtual bool ImportSession(bool reserved) = 0;
    virtual bool CloseMedia(bool finalize) = 0;
    virtual bool EraseDisc(bool quick) = 0;
    virtual bool Busy() const = 0;
    // Why the last operation was refused or failed; empty when it succeeded.
    QString LastError() const { return m_lastError; }

    // Facts of the medium in the selected drive.
    virtual int SessionCount() const = 0;
    virtual int DiscStatus() const = 0;
    virtual int DiscType() const = 0;
    virtual int LastSessionState() const = 0;
    virtual qint64 FreeBlocks() const = 0;
    virtual qint64 UsedBlocks() const = 0;
    virtual qint64 CapacityBlocks() const = 0;
    virtual bool MultiSessionAllowed() const = 0;
    virtual bool ImportAllowed() const = 0;
    virtual bool HasFileSystem(int fileSystem) const = 0;

Q_SIGNALS:
    void DirectoryAdded(const QString &parentKey, const QString &key, const QString &name,
                        int spare, bool ok);
    void DirectoryRemoved(const QString &key, int spare, bool ok);
    void DirectoryRenamed(const QString &oldKey, const QString &newKey, bool ok);
    void FileListed(int spare, const QString &key, const QString &name, int spare2,
                    bool isDirectory, const QDateTime &date, qint64 size);
    void ImageCleared();
    void WritePreparing();
    void CreatingDirectories();
    void ClosingTrack();
    void WriteProgress(int spare, qint64 done, qint64 total);
    void FileError(int code, const QString &fileName);
    void WriteCancelled();
    void VerifyStarted(int fileCount);
    void VerifyProgress(const QString &discFile, const QString &sourceFile, int spare, int spare2,
                        int status, qint64 done, qint64 total);
    void VerifyCompleted(int compared, int matched);
    void WriteError(int category, int driveCode, const QString &description,
                    const QString &senseData);
    void WriteCompleted();
    void ClosingSession();
    void ClosingDisc();
    // Asked, on the caller's thread, when a file added after an import has the key of an
    // imported one; `replace` starts false.
    void ReplaceImportedFile(const QString &importedFile, const QString &newFile, int spare,
                             bool &replace);
    void EraseStarted();
    void EraseCompleted();
    // Imported files were taken out of the compilation: their medium is no longer the one in
    // the drive (another drive, an erase, an eject), and their data could not be written.
    void ImportedFilesDropped(int count);

protected:
    QString m_lastError;
    QString m_addNotes;

private:
    QString m_volumeLabel = QStringLiteral("New Disc");
    int m_jolietNames = 1;
    bool m_autoVerify = false;
    bool m_finalizeDisc = false;
    bool m_fixedWrite = true;
    bool m_cacheImage = false;
    bool m_testWrite = false;
    bool m_dvdHighCompatibility = false;
    int m_trackMode = 1;
    bool m_bufferProtection = true;
};

} // namespace quillory
