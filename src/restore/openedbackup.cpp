#include "restore/openedbackup.h"

#include "app/keyvaluefile.h"
#include "app/stagingfolder.h"
#include "backup/backupinfo.h"
#include "platform/zip/ziparchive.h"
#include "platform/zip/zipentry.h"
#include "restore/listednames.h"
#include "restore/restoreitems.h"

#include <QFile>

namespace quillory {

namespace {

Result extractInfoFile(ZipArchive &Zip1, const QString &folder)
{
    const Expected<ZipEntry> entry = Zip1.FindEntry(backupInfoFileName);
    return entry ? entry->ExtractInto(folder) : entry.result();
}

// Reads what the information file says. A value that cannot be read stays empty, so that the
// origin and description show whatever could be read; a file without ten item flags fails.
Result readInfoFile(const ZipArchive &Zip1, OpenedBackup &state)
{
    const auto value = [&](const QString &key) {
        const Expected<QString> read = GetINI(key, state.infoFilePath);
        return read ? *read : QString();
    };
    state.origin = QStringLiteral("Computer:") + value(QStringLiteral("BackupComputer")) +
                   QStringLiteral("\r\nUser:") + value(QStringLiteral("BackupLogonUser")) +
                   QStringLiteral("\r\nDate:") + value(QStringLiteral("BackupTime"));
    state.description = decodeDescription(value(QStringLiteral("BackupInformation")));
    state.itemFlags = value(QStringLiteral("BackupItem")).trimmed();
    if (state.itemFlags.size() != ItemCount)
        return Result::failure(
            QStringLiteral("its information file holds no item flags of %1 characters")
                .arg(ItemCount));
    for (int index = 0; index < ItemCount; ++index) {
        state.held[index] = state.itemFlags.at(index) == QLatin1Char('1');
        if (!state.held[index])
            continue;
        const QString &key = itemTable()[index].listKey;
        const Expected<QByteArray> raw = GetINIBytes(key, state.infoFilePath);
        state.entryNames[index] =
            matchListedNames(Zip1, raw ? *raw : QByteArray(), value(key), isRegistryItem(index))
                .trimmed();
    }
    return Result::success();
}

} // namespace

OpenOutcome openBackupArchive(ZipArchive &Zip1, const QString &path,
                              const PasswordProvider &password, StagingFolder &staging,
                              OpenedBackup &state)
{
    QString secret;
    if (ZipArchive::IsProtected(path)) {
        const std::optional<QString> given = password(path);
        if (!given)
            return {OpenStatus::Cancelled, {}, QStringLiteral("No password was given.")};
        // Tried on an archive of its own, so that a wrong password leaves the archive opened
        // before, and the state that describes it, as they were.
        ZipArchive trial;
        trial.SetPassword(*given);
        if (Result opened = trial.OpenArchive(path); !opened)
            return {OpenStatus::WrongPassword,
                    {wrongPasswordText, MessageIcon::Information, opened.message()},
                    opened.message()};
        secret = *given;
    }

    Zip1.CloseArchive();
    Zip1.SetPassword(secret);
    state = OpenedBackup();
    state.archivePath = path;
    // Taken before the open, so that a file replaced meanwhile counts as changed.
    state.stamp = archiveStamp(path);
    state.password = secret;
    state.infoFilePath = staging.filePath(backupInfoFileName);
    Result read = staging.status();
    // The information file of an archive opened before must not stand in for a missing one.
    if (read && QFile::exists(state.infoFilePath) && !QFile::remove(state.infoFilePath))
        read = Result::failure(QStringLiteral("Cannot remove %1.").arg(state.infoFilePath));
    if (read)
        read = Zip1.OpenArchive(path);
    if (read)
        read = extractInfoFile(Zip1, staging.path());
    if (read)
        read = readInfoFile(Zip1, state);
    if (read)
        return {};

    state.held = {};
    state.entryNames = {};
    state.invalidArchive = true;
    const QString reason =
        QStringLiteral("%1 is not a backup archive: %2").arg(path, read.message());
    return {OpenStatus::Invalid, {invalidBackupText, MessageIcon::Error, reason}, reason};
}

} // namespace quillory
