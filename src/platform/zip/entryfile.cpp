#include "platform/zip/entryfile.h"

#include "platform/filereplacement.h"
#include "platform/zip/entrydata.h"

#include <QFile>
#include <QFileInfo>

namespace quillory::zipdetail {

namespace {

Result copyInto(zip_t *archive, const EntryInfo &entry, const QByteArray &password,
                QFileDevice &file)
{
    if (Result copied = readEntryData(archive, entry, &file, password); !copied)
        return copied;
    if (!file.flush())
        return Result::failure(
            QStringLiteral("Cannot write %1: %2").arg(file.fileName(), file.errorString()));
    // A time that cannot be set leaves the data intact, so it does not fail the extraction.
    if (entry.modified.isValid())
        file.setFileTime(entry.modified, QFileDevice::FileModificationTime);
    return Result::success();
}

Result replaceFile(zip_t *archive, const EntryInfo &entry, const QString &target,
                   const QByteArray &password)
{
    FileReplacement replacement(target);
    if (Result opened = replacement.open(); !opened)
        return opened;
    if (Result copied = copyInto(archive, entry, password, replacement.file()); !copied)
        return copied;
    return replacement.commit();
}

Result createFile(zip_t *archive, const EntryInfo &entry, const QString &target,
                  const QByteArray &password)
{
    QFile file(target);
    const QFile::Permissions mode = isPrivateFolder(QFileInfo(target).absolutePath())
                                        ? QFile::ReadOwner | QFile::WriteOwner
                                        : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                              QFile::WriteGroup | QFile::ReadOther |
                                              QFile::WriteOther;
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, mode))
        return Result::failure(
            QStringLiteral("Cannot create %1: %2").arg(target, file.errorString()));
    Result copied = copyInto(archive, entry, password, file);
    file.close();
    if (copied && file.error() != QFileDevice::NoError)
        copied =
            Result::failure(QStringLiteral("Cannot write %1: %2").arg(target, file.errorString()));
    if (!copied)
        file.remove();
    return copied;
}

} // namespace

Result writeEntryFile(zip_t *archive, const EntryInfo &entry, const QString &target,
                      const QByteArray &password, Durability newFiles)
{
    const QFileInfo existing(target);
    if (existing.isSymLink())
        return Result::failure(QStringLiteral("Entry \"%1\" is not written: %2 is a symbolic link.")
                                   .arg(entry.name, target));
    if (existing.isDir())
        return Result::failure(
            QStringLiteral("Entry \"%1\" is not written: %2 is a folder.").arg(entry.name, target));
    return existing.exists() || newFiles == Durability::Synced
               ? replaceFile(archive, entry, target, password)
               : createFile(archive, entry, target, password);
}

} // namespace quillory::zipdetail
