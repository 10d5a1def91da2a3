#include "app/leftovers.h"

#include "app/programcontext.h"
#include "app/stagingfolder.h"
#include "app/tempfile.h"
#include "platform/filereplacement.h"
#include "platform/foldertree.h"
#include "platform/runownedname.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace quillory {

namespace {

const QLatin1String registryMark(".reg.quillory-");
const QLatin1String restoringMark(".restoring-");

// Only what this user owns, and never through a link.
bool ownEntry(const QString &path, bool folder)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || st.st_uid != ::getuid())
        return false;
    return folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
}

bool exists(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QStringList entries(const QString &folder, const QString &pattern, QDir::Filters kind)
{
    if (folder.isEmpty())
        return {};
    return QDir(folder).entryList({pattern}, kind | QDir::Hidden | QDir::System);
}

void removeStagingFolders()
{
    const QDir temp(temporaryFolder());
    const QString prefix = StagingFolder::namePrefix();
    for (const QString &name : entries(temp.path(), prefix + QLatin1Char('*'), QDir::Dirs)) {
        const QString path = temp.filePath(name);
        if (ownEntry(path, true) && madeByGoneRun(QStringView(name).mid(prefix.size())))
            removeFolderTree(path);
    }
}

void removeRegistryFiles(const QString &prefixFolder)
{
    const QDir prefix(prefixFolder);
    for (const QString &name : entries(
             prefixFolder, QStringLiteral("*") + registryMark + QLatin1Char('*'), QDir::Files)) {
        const QString path = prefix.filePath(name);
        const qsizetype owner = name.indexOf(registryMark) + registryMark.size();
        if (ownEntry(path, false) && madeByGoneRun(QStringView(name).mid(owner)))
            QFile::remove(path);
    }
}

// ".NAME.restoring-PID@HOST-RANDOM" holds "new-RANDOM" (the extracted folder) and, once the old
// folder has been moved aside, "old". When NAME itself is missing, "old" is the only copy of the
// account.
void finishAccountRestores(const QString &storeFolder)
{
    const QDir store(storeFolder);
    for (const QString &name : entries(
             storeFolder, QStringLiteral(".*") + restoringMark + QLatin1Char('*'), QDir::Dirs)) {
        const QString work = store.filePath(name);
        const qsizetype mark = name.lastIndexOf(restoringMark);
        if (!ownEntry(work, true) ||
            !madeByGoneRun(QStringView(name).mid(mark + restoringMark.size())))
            continue;
        const QString target = store.filePath(name.mid(1, mark - 1));
        const QString old = QDir(work).filePath(QStringLiteral("old"));
        if (!exists(target) && exists(old) &&
            ::rename(QFile::encodeName(old).constData(), QFile::encodeName(target).constData()) !=
                0)
            continue;
        removeFolderTree(work);
    }
}

} // namespace

void removeLeftovers(const ProgramContext &context, const QString &archivePath)
{
    removeStagingFolders();
    removeRegistryFiles(context.prefixPath());
    finishAccountRestores(context.store().StoreFolder);
    if (!archivePath.isEmpty())
        removeStaleReplacements(archivePath);
}

} // namespace quillory
