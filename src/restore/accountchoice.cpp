#include "restore/accountchoice.h"

#include "restore/itementries.h"
#include "restore/openedbackup.h"

#include <algorithm>

namespace quillory {

namespace {

// The accounts item's nested archives, by their entry names as listed.
QStringList folderArchives(const OpenedBackup &state)
{
    QStringList archives;
    if (!state.held[ItemMailAccounts])
        return archives;
    for (const QString &name :
         state.entryNames[ItemMailAccounts].split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (const QString trimmed = name.trimmed(); isFolderArchive(trimmed))
            archives.append(trimmed);
    return archives;
}

} // namespace

QStringList heldAccounts(const OpenedBackup &state)
{
    QStringList accounts;
    for (const QString &archive : folderArchives(state))
        accounts.append(folderOfArchive(archive));
    return accounts;
}

Result chooseAccounts(OpenedBackup &state, const QStringList &names)
{
    const QStringList archives = folderArchives(state);
    QStringList chosen;
    for (const QString &name : names) {
        const auto found =
            std::find_if(archives.begin(), archives.end(), [&](const QString &archive) {
                return folderOfArchive(archive).compare(name, Qt::CaseInsensitive) == 0;
            });
        if (found == archives.end()) {
            const QStringList held = heldAccounts(state);
            return Result::failure(
                held.isEmpty()
                    ? QStringLiteral("The archive holds no account \"%1\": it holds none.")
                          .arg(name)
                    : QStringLiteral("The archive holds no account \"%1\". It holds: \"%2\".")
                          .arg(name, held.join(QStringLiteral("\", \""))));
        }
        if (!chosen.contains(*found))
            chosen.append(*found);
    }
    state.entryNames[ItemMailAccounts] = chosen.join(QLatin1Char(';'));
    return Result::success();
}

} // namespace quillory
