#pragma once

#include "platform/disc/burndiscwriter.h"

#include <QList>
#include <QSet>
#include <QStringList>

namespace quillory::test {

// A disc writer for what an image file cannot be: optical media of every kind, drives that lack
// a capability, and the events only a real drive raises. The medium's facts are plain fields;
// every operation is recorded in `calls` as "Name(arguments)" and the disc operations answer
// `operationsStart`. The compilation is a real one, since the burning window's views follow its
// events. Tests raise the writer's other events by emitting its signals.
class ScriptedDiscWriter final : public DiscWriter {
public:
    // The options a write started with.
    struct Sent {
        bool autoVerify, finalize, fixed, cache, testWrite, dvdHigh, bufferProtection;
        int joliet, trackMode;
        QString label;
        bool operator==(const Sent &) const = default;
    };

    int mediaType = MediaDvdPlusRw;
    int maxSpeed = 0;
    int sessions = 0;
    int discStatus = DiscEmpty;
    int discType = CdUnknown;
    int lastSessionState = SessionEmpty;
    qint64 freeBlocks = 0;
    qint64 usedBlocks = 0;
    bool multiSessionAllowed = false;
    bool importAllowed = false;
    bool importedFiles = false;
    int fileSystems = 0;
    QSet<int> supported{SupportsCdRw, SupportsDvdRam, SupportsBufferProtection, SupportsDvdRw,
                        SupportsDvdPlusRw};
    bool operationsStart = true;
    QStringList calls;
    QList<int> speedsSet;
    QList<Sent> writes;

    ScriptedDiscWriter();

    bool InitializeDrives(bool) override { return true; }
    int DeviceCount() const override { return 1; }
    bool DeviceIsWriter(int index) const override { return index == 0; }
    QString DeviceDrive(int index) const override;
    QString DeviceVendor(int index) const override;
    QString DeviceProduct(int index) const override;
    bool SelectDevice(int index) override { return index == 0; }
    int MediaType() const override { return mediaType; }
    int MaxWriteSpeed() const override { return maxSpeed; }
    void SetWriteSpeed(int speed) override { speedsSet.append(speed); }
    bool DriveSupports(int capability) const override { return supported.contains(capability); }
    bool MoveTray(bool close) override;

    void ClearImage() override;
    bool AddFile(const QString &discPath, const QString &sourcePath) override;
    bool AddFolder(const QString &discPath, const QString &sourceFolder) override;
    bool RemoveItem(const QString &key) override;
    bool RenameFile(const QString &key, const QString &newName) override;
    bool RenameDirectory(const QString &key, const QString &newName) override;
    void ListDirectory(const QString &key) override { m_compilation.ListDirectory(key); }
    qint64 ImageBlocks() override { return m_compilation.ImageBlocks(); }
    int FileCount() const override { return m_compilation.FileCount(); }
    bool HasImportedFiles() const override { return importedFiles; }
    int DirectoryCount() const override { return m_compilation.DirectoryCount(); }

    bool StartWrite() override;
    bool WriteImageFile(const QString &path) override;
    bool SaveImageToFile(const QString &path) override;
    void AbortWrite() override { calls.append(QStringLiteral("AbortWrite()")); }
    bool ImportSession(bool) override { return operation(QStringLiteral("ImportSession()")); }
    bool CloseMedia(bool finalize) override;
    bool EraseDisc(bool quick) override;
    bool Busy() const override { return false; }

    int SessionCount() const override { return sessions; }
    int DiscStatus() const override { return discStatus; }
    int DiscType() const override { return discType; }
    int LastSessionState() const override { return lastSessionState; }
    qint64 FreeBlocks() const override { return freeBlocks; }
    qint64 UsedBlocks() const override { return usedBlocks; }
    qint64 CapacityBlocks() const override { return freeBlocks + usedBlocks; }
    bool MultiSessionAllowed() const override { return multiSessionAllowed; }
    bool ImportAllowed() const override { return importAllowed; }
    bool HasFileSystem(int fileSystem) const override { return (fileSystems & fileSystem) != 0; }

private:
    bool operation(const QString &call);

    BurnDiscWriter m_compilation;
};

} // namespace quillory::test
