#pragma once

#include "app/itemtable.h"
#include "restore/archivestamp.h"
#include "restore/restoremessage.h"

#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace quillory {

class StagingFolder;
class ZipArchive;

// What opening a backup archive leaves for the restore run, valid until the next archive is
// opened.
struct OpenedBackup {
    QString archivePath;
    // The archive file as it was when opened: a run restores nothing from a file changed since.
    std::optional<ArchiveStamp> stamp;
    // Opens the archive again when a backup run has used the shared archive object meanwhile.
    QString password;
    // "Computer:", CR LF, "User:", CR LF, "Date:", each followed by its value.
    QString origin;
    // The user's description, with its line breaks back.
    QString description;
    // "BackupItem", trimmed: one character per item, "1" where the archive holds the item.
    QString itemFlags;
    ItemFlags held{};
    // The trimmed list value of each held item: registry items name one entry, file items a
    // list separated by ";".
    std::array<QString, ItemCount> entryNames;
    // Where "krvstore.dat" was extracted: the staging folder, which the run removes.
    QString infoFilePath;
    // Set when the archive cannot be opened or is not a backup archive: a run then refuses.
    bool invalidArchive = false;
};

enum class OpenStatus {
    Opened,
    // The password prompt was cancelled: nothing changed.
    Cancelled,
    // The password does not open the archive: the archive opened before, and its state, stay.
    WrongPassword,
    // Not a backup archive: the state says so, with the origin and description that could be read.
    Invalid,
};

struct OpenOutcome {
    OpenStatus status = OpenStatus::Opened;
    // What to show, with the reason as its details; empty after an open that succeeded or was
    // cancelled.
    RestoreMessage message;
    // What went wrong, in words a terminal can show.
    QString reason;
};

inline const QString wrongPasswordText = QStringLiteral("Incorect Password or Invalid backup file");
inline const QString invalidBackupText = QStringLiteral("Invalid backup file");

// Asked for the password of a protected archive; nullopt when the user cancels.
using PasswordProvider = std::function<std::optional<QString>(const QString &archivePath)>;

// Opens the backup archive at `path` on `Zip1` (asking for the password when it is protected),
// extracts its information file into `staging` and reads it into `state`.
OpenOutcome openBackupArchive(ZipArchive &Zip1, const QString &path,
                              const PasswordProvider &password, StagingFolder &staging,
                              OpenedBackup &state);

} // namespace quillory
