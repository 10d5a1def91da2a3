#pragma once

#include "app/itemtable.h"

#include <QString>

namespace quillory {

class modReg;
class WinePaths;

// Where the mail client keeps its data, in the registry's textual key paths.
namespace MailKeys {
inline const QString mail =
    QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows Live Mail");
inline const QString storeMarker = QStringLiteral("Store Root");
inline const QString shellFolders = QStringLiteral(
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
inline const QString mailRules = mail + QStringLiteral("\\Rules\\Mail");
inline const QString newsRules = mail + QStringLiteral("\\Rules\\News");
inline const QString signatures = mail + QStringLiteral("\\signatures");
inline const QString junkMail = mail + QStringLiteral("\\PerPassportSettings");
inline const QString settings = mail + QStringLiteral("\\Advanced Settings");
} // namespace MailKeys

inline const QString mailClientMissingText =
    QStringLiteral("Your Windows System have not install Windows Live Mail ");
inline const QString storeBrokenText = QStringLiteral(
    "Your Windows System have not install Windows Live Mail or Windows Live Mail error!");

enum class StoreStatus { Found, MailClientMissing, StoreBroken };

struct StoreLocations {
    StoreStatus status = StoreStatus::MailClientMissing;
    QString StoreFolder;      // host path
    QString stationeryFolder; // host path; empty when "Personal" cannot be read or mapped
    // "Contacts\Default" below the store, in the spelling on disk; empty when the store is not
    // known.
    QString contactsFolder() const;
};

// `name` inside `folder`, spelled as the entry on disk that Wine would take for it: names match
// without regard to case, an exact match first. When none matches, the name keeps its spelling.
QString pathNoCase(const QString &folder, const QString &name);

// Whether `name` is a folder the mail client keeps for itself in the store (contacts, feeds, its
// own backups...), in any case as Wine finds it: never an account, never restored as one.
bool isMailClientFolder(const QString &name);

// Finds the store through the registry: "Store Root" says the mail client is installed, the
// shell folders say where its files lie. Whether the folders exist is not tested here.
StoreLocations findStore(const modReg &reg, const WinePaths &paths);

// Which items can be chosen: those whose data exists on this computer.
ItemFlags itemAvailability(const modReg &reg, const StoreLocations &store);

} // namespace quillory
