#pragma once

#include "platform/disc/burndiscwriter.h"

#include <QList>

namespace quillory::test {

// A recorder that only a real optical drive could be: its medium, speed and buffer protection
// are scripted, writes are recorded instead of run, and the test raises the events. Unlike the
// dialogs' ScriptedDiscWriter, its compilation is a real one, since the window's views follow
// the compilation's events.
class ScriptedRecorder final : public DiscWriter {
public:
    // The options a write or image started with.
    struct Sent {
        bool autoVerify, finalize, fixed, cache, testWrite, dvdHigh, bufferProtection;
        int joliet, trackMode;
        QString label;
        bool operator==(const Sent &) const = default;
    };

    int media = MediaDvdR;
    int maxSpeed = 22160;
    bool protection = true;
    bool startResult = true;
    QList<int> speedsSet;
    QList<bool> trays; // MoveTray's argument per call
    QList<Sent> writes;
    int aborts = 0;

    ScriptedRecorder();

    bool InitializeDrives(bool) override { return true; }
    int DeviceCount() const override { return 1; }
    bool DeviceIsWriter(int) const override { return true; }
    QString DeviceDrive(int) const override { return QStringLiteral("/dev/sr0"); }
    QString DeviceVendor(int) const override { return QStringLiteral("HL-DT-ST"); }
    QString DeviceProduct(int) const override { return QStringLiteral("DVDRAM GH24NSD1"); }
    bool SelectDevice(int index) override { return index == 0; }
    int MediaType() const override { return media; }
    int MaxWriteSpeed() const override { return maxSpeed; }
    void SetWriteSpeed(int speed) override { speedsSet.append(speed); }
    bool DriveSupports(int capability) const override
    {
        return capability == SupportsBufferProtection && protection;
    }
    bool MoveTray(bool close) override;

    void ClearImage() override { m_real.ClearImage(); }
    bool AddFile(const QString &discPath, const QString &sourcePath) override
    {
        return m_real.AddFile(discPath, sourcePath);
    }
    bool AddFolder(const QString &discPath, const QString &sourceFolder) override
    {
        return m_real.AddFolder(discPath, sourceFolder);
    }
    bool RemoveItem(const QString &key) override { return m_real.RemoveItem(key); }
    bool RenameFile(const QString &key, const QString &name) override
    {
        return m_real.RenameFile(key, name);
    }
    bool RenameDirectory(const QString &key, const QString &name) override
    {
        return m_real.RenameDirectory(key, name);
    }
    void ListDirectory(const QString &key) override { m_real.ListDirectory(key); }
    qint64 ImageBlocks() override { return m_real.ImageBlocks(); }
    int FileCount() const override { return m_real.FileCount(); }
    int DirectoryCount() const override { return m_real.DirectoryCount(); }
    bool HasImportedFiles() const override { return false; }

    bool StartWrite() override;
    bool WriteImageFile(const QString &) override { return StartWrite(); }
    bool SaveImageToFile(const QString &) override { return false; }
    void AbortWrite() override { ++aborts; }
    bool ImportSession(bool) override { return false; }
    bool CloseMedia(bool) override { return false; }
    bool EraseDisc(bool) override { return false; }
    bool Busy() const override { return false; }

    int SessionCount() const override { return 0; }
    int DiscStatus() const override { return DiscEmpty; }
    int DiscType() const override { return CdUnknown; }
    int LastSessionState() const override { return SessionEmpty; }
    qint64 FreeBlocks() const override { return 0; }
    qint64 UsedBlocks() const override { return 0; }
    qint64 CapacityBlocks() const override { return 0; }
    bool MultiSessionAllowed() const override { return false; }
    bool ImportAllowed() const override { return false; }
    bool HasFileSystem(int) const override { return false; }

private:
    BurnDiscWriter m_real;
};

} // namespace quillory::test
