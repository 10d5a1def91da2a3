#include "scripteddiscwriter.h"

namespace quillory::test {

namespace {

QString boolText(bool on)
{
    return on ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

ScriptedDiscWriter::ScriptedDiscWriter()
{
    connect(&m_compilation, &DiscWriter::DirectoryAdded, this, &DiscWriter::DirectoryAdded);
    connect(&m_compilation, &DiscWriter::DirectoryRemoved, this, &DiscWriter::DirectoryRemoved);
    connect(&m_compilation, &DiscWriter::DirectoryRenamed, this, &DiscWriter::DirectoryRenamed);
    connect(&m_compilation, &DiscWriter::FileListed, this, &DiscWriter::FileListed);
    connect(&m_compilation, &DiscWriter::ImageCleared, this, &DiscWriter::ImageCleared);
}

QString ScriptedDiscWriter::DeviceDrive(int index) const
{
    return index == 0 ? QStringLiteral("/dev/sr0") : QString();
}

QString ScriptedDiscWriter::DeviceVendor(int index) const
{
    return index == 0 ? QStringLiteral("Scripted") : QString();
}

QString ScriptedDiscWriter::DeviceProduct(int index) const
{
    return index == 0 ? QStringLiteral("Recorder") : QString();
}

bool ScriptedDiscWriter::MoveTray(bool close)
{
    return operation(QStringLiteral("MoveTray(%1)").arg(boolText(close)));
}

void ScriptedDiscWriter::ClearImage()
{
    calls.append(QStringLiteral("ClearImage()"));
    m_compilation.ClearImage();
}

bool ScriptedDiscWriter::AddFile(const QString &discPath, const QString &sourcePath)
{
    calls.append(QStringLiteral("AddFile(%1,%2)").arg(discPath, sourcePath));
    return m_compilation.AddFile(discPath, sourcePath);
}

bool ScriptedDiscWriter::AddFolder(const QString &discPath, const QString &sourceFolder)
{
    calls.append(QStringLiteral("AddFolder(%1,%2)").arg(discPath, sourceFolder));
    return m_compilation.AddFolder(discPath, sourceFolder);
}

bool ScriptedDiscWriter::RemoveItem(const QString &key)
{
    calls.append(QStringLiteral("RemoveItem(%1)").arg(key));
    return m_compilation.RemoveItem(key);
}

bool ScriptedDiscWriter::RenameFile(const QString &key, const QString &newName)
{
    calls.append(QStringLiteral("RenameFile(%1,%2)").arg(key, newName));
    return m_compilation.RenameFile(key, newName);
}

bool ScriptedDiscWriter::RenameDirectory(const QString &key, const QString &newName)
{
    calls.append(QStringLiteral("RenameDirectory(%1,%2)").arg(key, newName));
    return m_compilation.RenameDirectory(key, newName);
}

bool ScriptedDiscWriter::StartWrite()
{
    writes.append({AutoVerify(), FinalizeDisc(), FixedWriteOption(), CacheImage(), TestWrite(),
                   DvdHighCompatibility(), BufferProtection(), JolietNames(), TrackMode(),
                   VolumeLabel()});
    return operation(QStringLiteral("StartWrite()"));
}

bool ScriptedDiscWriter::WriteImageFile(const QString &path)
{
    return operation(QStringLiteral("WriteImageFile(%1)").arg(path));
}

bool ScriptedDiscWriter::SaveImageToFile(const QString &path)
{
    return operation(QStringLiteral("SaveImageToFile(%1)").arg(path));
}

bool ScriptedDiscWriter::CloseMedia(bool finalize)
{
    return operation(QStringLiteral("CloseMedia(%1)").arg(boolText(finalize)));
}

bool ScriptedDiscWriter::EraseDisc(bool quick)
{
    return operation(QStringLiteral("EraseDisc(%1)").arg(boolText(quick)));
}

bool ScriptedDiscWriter::operation(const QString &call)
{
    calls.append(call);
    return operationsStart;
}

} // namespace quillory::test
