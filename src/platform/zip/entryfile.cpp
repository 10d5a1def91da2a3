#include "platform/zip/entryfile.h"

#include "platform/filereplacement.h"
#include "platform/zip/entrydata.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

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
    // What the umask lets through, never wider than the archive says.
    const mode_t bits = (isPrivateFolder(QFileInfo(target).absolutePath()) ? 0600 : 0666) &
                        entry.permissions.value_or(0777);
    QFile::Permissions mode;
    for (const auto &[bit, permission] :
         {std::pair{S_IRUSR, QFile::ReadOwner}, std::pair{S_IWUSR, QFile::WriteOwner},
          std::pair{S_IRGRP, QFile::ReadGroup}, std::pair{S_IWGRP, QFile::WriteGroup},
          std::pair{S_IROTH, QFile::ReadOther}, std::pair{S_IWOTH, QFile::WriteOther}})
        if (bits & bit)
            mode |= permission;
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
