#include "cli/profilecommand.h"

#include "app/itemtable.h"
#include "app/programcontext.h"
#include "app/storediscovery.h"
#include "cli/itemlist.h"
#include "registry/modreg.h"

#include <QDir>
#include <QFileInfo>

namespace quillory {

namespace {

QString folderLine(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("(not found)");
    return path + (QFileInfo(path).isDir() ? QString() : QStringLiteral("  (missing)"));
}

} // namespace

int runProfileCommand(ProgramContext &context, QTextStream &out)
{
    out << "Profile: " << context.prefixPath() << '\n';
    const StoreLocations store = findStore(context.reg(), context.paths());
    switch (store.status) {
    case StoreStatus::MailClientMissing:
        out << mailClientMissingText.trimmed() << '\n';
        return 1;
    case StoreStatus::StoreBroken:
        out << storeBrokenText << '\n';
        return 1;
    case StoreStatus::Found:
        break;
    }
    out << "Store folder: " << folderLine(store.StoreFolder) << '\n';
    out << "Stationery folder: " << folderLine(store.stationeryFolder) << '\n';

    const QStringList accounts =
        QDir(store.StoreFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    out << "Store folders: "
        << (accounts.isEmpty() ? QStringLiteral("(none)") : accounts.join(QStringLiteral(", ")))
        << '\n';

    const ItemFlags available = itemAvailability(context.reg(), store);
    out << "Items that can be backed up:\n";
    for (int i = 0; i < ItemCount; ++i)
        out << "  [" << (available[i] ? 'x' : ' ') << "] " << i << ' ' << itemCaption(i) << '\n';
    return 0;
}

} // namespace quillory
