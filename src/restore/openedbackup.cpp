#include "restore/openedbackup.h"

#include "app/keyvaluefile.h"
#include "app/stagingfolder.h"
#include "backup/backupinfo.h"
#include "platform/zip/extractionplan.h"
#include "platform/zip/ziparchive.h"
#include "platform/zip/zipentry.h"
#include "restore/listednames.h"
#include "restore/restoreitems.h"

#include <QFile>
#include <QFileInfo>

namespace quillory {

namespace {

// Reads what the information file says. A value that cannot be read stays empty, so that the
// origin and description show whatever could be read; a file without ten item flags fails.
Result readInfoFile(const ZipArchive &Zip1, const KeyValueText &info, OpenedBackup &state)
{
    state.origin = QStringLiteral("Computer:") + info.value(QStringLiteral("BackupComputer")) +
                   QStringLiteral("\r\nUser:") + info.value(QStringLiteral("BackupLogonUser")) +
                   QStringLiteral("\r\nDate:") + info.value(QStringLiteral("BackupTime"));
    state.description = decodeDescription(info.value(QStringLiteral("BackupInformation")));
    state.itemFlags = info.value(QStringLiteral("BackupItem")).trimmed();
    if (state.itemFlags.size() != ItemCount)
        return Result::failure(
            QStringLiteral("its information file holds no item flags of %1 characters")
                .arg(ItemCount));
    for (int index = 0; index < ItemCount; ++index) {
        state.held[index] = state.itemFlags.at(index) == QLatin1Char('1');
        if (!state.held[index])
            continue;
        const QString &key = itemTable()[index].listKey;
        state.entryNames[index] =
            matchListedNames(Zip1, info.rawValue(key), info.value(key), isRegistryItem(index))
                .trimmed();
    }
    return Result::success();
}

// The information file is staged as the run expects to find it. Writing it can fail only for
// want of room or rights in the temporary folder, which is then what the user must hear of.
Result stageInfoFile(const QByteArray &bytes, const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (Result room = zipdetail::checkRoom(folder, quint64(bytes.size())); !room)
        return Result::failure(
            QStringLiteral("The temporary folder %1 is full: %2").arg(folder, room.message()));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                   QFile::ReadOwner | QFile::WriteOwner) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        const QString why = file.errorString();
        file.remove();
        return Result::failure(
            QStringLiteral("The temporary folder %1 cannot take the backup information: %2")
                .arg(folder, why));
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
    const auto refused = [&state](const RestoreMessage &message, const QString &reason) {
        state.held = {};
        state.entryNames = {};
        state.invalidArchive = true;
        return OpenOutcome{OpenStatus::Invalid, message, reason};
    };
    // A temporary folder that cannot take the information file is the user's to free, and no
    // fault of the archive's.
    Result staged = staging.status();
    // The information file of an archive opened before must not stand in for a missing one.
    if (staged && QFile::exists(state.infoFilePath) && !QFile::remove(state.infoFilePath))
        staged = Result::failure(QStringLiteral("Cannot remove %1.").arg(state.infoFilePath));

    Result read = staged ? Zip1.OpenArchive(path) : Result::success();
    Expected<QByteArray> bytes = QByteArray();
    if (staged && read) {
        const Expected<ZipEntry> entry = Zip1.FindEntry(backupInfoFileName);
        bytes = entry ? entry->read(maxKeyValueFileSize) : entry.result();
        read = bytes.result();
    }
    if (staged && read)
        staged = stageInfoFile(*bytes, state.infoFilePath);
    if (!staged) {
        const QString reason =
            QStringLiteral("%1 cannot be opened: %2").arg(path, staged.message());
        return refused({staged.message(), MessageIcon::Error, reason}, reason);
    }
    if (read) {
        const Expected<KeyValueText> info = KeyValueText::parse(*bytes, state.infoFilePath);
        read = info ? readInfoFile(Zip1, *info, state) : info.result();
    }
    if (read)
        return {};
    const QString reason =
        QStringLiteral("%1 is not a backup archive: %2").arg(path, read.message());
    return refused({invalidBackupText, MessageIcon::Error, reason}, reason);
}

} // namespace quillory
