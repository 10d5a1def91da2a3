#pragma once

#include "platform/result.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace quillory {

inline const QString backupInfoFileName = QStringLiteral("krvstore.dat");
inline const QString autoBackupDescription = QStringLiteral("Auto Backup");
// The store's database, which the accounts item lists after its nested archives whether or not
// the archive holds it.
inline const QString storeDatabaseName = QStringLiteral("WindowsMail.MSMessageStore");

// The description kept on one line: every line break (CR LF, a lone CR, a lone LF) becomes
// "PS$KRV", so no text the user types can start a line of its own in the information file.
QString encodeDescription(const QString &description);
// The reader's way back: every "PS$KRV" becomes CR LF.
QString decodeDescription(const QString &stored);

// The locale's general date format: short date, a blank, long time without the time zone;
// midnight shows the date alone.
QString backupTimeText(const QDateTime &time, const QLocale &locale = QLocale::system());

// The first four lines of the backup information file; an existing file is replaced.
Result writeBackupInfoHeader(const QString &path, const QString &computer, const QString &user,
                             const QDateTime &time, const QString &description);

} // namespace quillory
