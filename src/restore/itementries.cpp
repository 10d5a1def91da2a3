#include "restore/itementries.h"

#include "app/itemtable.h"
#include "app/storediscovery.h"
#include "backup/backupinfo.h"
#include "platform/zip/entrynames.h"
#include "restore/openedbackup.h"
#include "restore/restoreitems.h"

#include <QHash>

namespace quillory {

namespace {

const QLatin1String archiveSuffix(".zip");

// Names come from the archive, so they are checked like any other input: nothing listed may
// lead outside the folder it is restored into. In the accounts item, "x.zip" is the folder x of
// the store, so that folder's name must be one too.
Result checkName(const QString &name, bool folderArchives)
{
    Result usable = zipdetail::checkBareEntryName(name);
    if (usable && folderArchives && isFolderArchive(name)) {
        const QString folder = folderOfArchive(name);
        if (folder.isEmpty() || folder == QLatin1String(".") || folder == QLatin1String(".."))
            usable = Result::failure(QStringLiteral("it names no folder of the store"));
        else if (isMailClientFolder(folder))
            usable = Result::failure(
                QStringLiteral("it would replace the mail client's own folder \"%1\"").arg(folder));
    }
    if (!usable)
        return Result::failure(
            QStringLiteral("The listed entry \"%1\" is refused: %2.").arg(name, usable.message()));
    return Result::success();
}

} // namespace

bool isFolderArchive(const QString &entryName)
{
    return entryName.endsWith(archiveSuffix, Qt::CaseInsensitive);
}

QString folderOfArchive(const QString &entryName)
{
    return entryName.chopped(archiveSuffix.size());
}

Expected<QStringList> itemEntries(const OpenedBackup &state, int index,
                                  const QSet<QString> &archiveEntries)
{
    const QString &listed = state.entryNames[index];
    QStringList names;
    if (isRegistryItem(index)) {
        if (listed.isEmpty())
            return Result::failure(
                QStringLiteral("The backup information names no registry file for this item."));
        names.append(listed);
    } else {
        for (const QString &name : listed.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (const QString trimmed = name.trimmed(); !trimmed.isEmpty())
                names.append(trimmed);
    }

    // The mail client under Wine sees names without regard to case: two names that differ only
    // in case would be restored into one file or folder, by two writers at once.
    QHash<QString, QString> seen;
    for (const QString &name : std::as_const(names)) {
        const QString folded = name.toCaseFolded();
        if (const auto earlier = seen.constFind(folded); earlier != seen.cend())
            return Result::failure(
                *earlier == name
                    ? QStringLiteral("The list names \"%1\" twice: the backup is damaged.")
                          .arg(name)
                    : QStringLiteral("The list names both \"%1\" and \"%2\", which the mail "
                                     "client cannot tell apart: the backup is damaged.")
                          .arg(*earlier, name));
        seen.insert(folded, name);
    }

    QStringList entries;
    for (const QString &name : std::as_const(names)) {
        if (index == ItemMailAccounts && name == storeDatabaseName &&
            !archiveEntries.contains(name))
            continue;
        if (Result usable = checkName(name, index == ItemMailAccounts); !usable)
            return usable;
        if (!archiveEntries.contains(name))
            return Result::failure(
                QStringLiteral("The archive holds no entry named \"%1\".").arg(name));
        entries.append(name);
    }
    return entries;
}

} // namespace quillory
