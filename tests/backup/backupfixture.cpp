#include "backupfixture.h"

#include "platform/runobserver.h"
#include "platform/zip/ziparchive.h"
#include "platform/zip/zipentry.h"

#include <QDir>

namespace quillory::test {

std::optional<FreeSpace> FakeSpace::at(const QString &path) const
{
    std::optional<FreeSpace> found;
    for (const FreeSpace &mount : m_mounts)
        if (path.startsWith(mount.mountPoint) &&
            (!found || mount.mountPoint.size() > found->mountPoint.size()))
            found = mount;
    return found;
}

BackupOutcome backUp(LoadedProfile &profile, const ItemFlags &items, bool unattended)
{
    BackupRequest request;
    request.archivePath = profile.archive();
    request.items = items;
    request.unattended = unattended;
    return backUp(profile, request);
}

BackupOutcome backUp(LoadedProfile &profile, const BackupRequest &request)
{
    ZipArchive Zip1;
    SilentObserver observer;
    return performBackup(*profile.context, Zip1, request, observer);
}

QMap<QString, QByteArray> archiveContents(const QString &path, const QString &password)
{
    QMap<QString, QByteArray> contents;
    ZipArchive zip;
    zip.SetPassword(password);
    if (!zip.OpenArchive(path))
        return contents;
    QTemporaryDir out;
    if (!zip.ExtractAll(out.path()))
        return contents;
    for (const QString &name : zip.entryNames())
        contents.insert(name, readFile(QDir(out.path()).filePath(name)));
    return contents;
}

QStringList infoLines(const QString &archivePath, const QString &password)
{
    const QByteArray info =
        archiveContents(archivePath, password).value(QStringLiteral("krvstore.dat"));
    QStringList lines = QString::fromUtf8(info).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace quillory::test
