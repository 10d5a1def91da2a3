#include "scripteddiscwriter.h"

namespace quillory::test {

namespace {

QString boolText(bool on)
{
    return on ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

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
}

bool ScriptedDiscWriter::AddFile(const QString &discPath, const QString &sourcePath)
{
    return operation(QStringLiteral("AddFile(%1,%2)").arg(discPath, sourcePath));
}

bool ScriptedDiscWriter::AddFolder(const QString &discPath, const QString &sourceFolder)
{
    return operation(QStringLiteral("AddFolder(%1,%2)").arg(discPath, sourceFolder));
}

bool ScriptedDiscWriter::RemoveItem(const QString &key)
{
    return operation(QStringLiteral("RemoveItem(%1)").arg(key));
}

bool ScriptedDiscWriter::RenameFile(const QString &key, const QString &newName)
{
    return operation(QStringLiteral("RenameFile(%1,%2)").arg(key, newName));
}

bool ScriptedDiscWriter::RenameDirectory(const QString &key, const QString &newName)
{
    return operation(QStringLiteral("RenameDirectory(%1,%2)").arg(key, newName));
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
