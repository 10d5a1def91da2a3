#include "backup/spacecheck.h"

#include "app/programcontext.h"
#include "app/sizetext.h"
#include "app/tempfile.h"
#include "platform/freespace.h"

#include <QFileInfo>
#include <QStringList>

namespace quillory {

QList<SpaceShortfall> spaceShortfalls(const ArchiveEstimate &estimate, const QString &archivePath,
                                      const QString &tempFolder, const FreeSpaceQuery &space)
{
    const std::optional<FreeSpace> target =
        space.at(QFileInfo(QFileInfo(archivePath).absoluteFilePath()).absolutePath());
    const std::optional<FreeSpace> temp = space.at(tempFolder);
    QList<SpaceShortfall> shortfalls;
    // The old archive stays until the new one is complete, so it frees nothing.
    if (target && temp && target->mountPoint == temp->mountPoint) {
        const quint64 needed = estimate.bytes + estimate.beside + estimate.staged;
        if (needed > target->bytes)
            shortfalls.append({QStringLiteral("the archive's folder and the temporary folder"),
                               target->mountPoint, needed, target->bytes});
        return shortfalls;
    }
    if (target && estimate.bytes + estimate.beside > target->bytes)
        shortfalls.append({QStringLiteral("the archive's folder"), target->mountPoint,
                           estimate.bytes + estimate.beside, target->bytes});
    if (temp && estimate.staged > temp->bytes)
        shortfalls.append({QStringLiteral("the temporary folder"), temp->mountPoint,
                           estimate.staged, temp->bytes});
    return shortfalls;
}

QString spaceWarning(const ProgramContext &context, const QString &archivePath,
                     const ItemFlags &items, bool protect, FolderChecks *checks)
{
    const QList<SpaceShortfall> shortfalls =
        spaceShortfalls(estimateArchive(context.store(), items, protect, checks), archivePath,
                        temporaryFolder(), context.freeSpace());
    if (shortfalls.isEmpty())
        return {};
    return shortfallText(shortfalls) + QStringLiteral(" The backup goes on.");
}

QString estimateLine(quint64 estimate, const std::optional<FreeSpace> &target)
{
    const QString about = QStringLiteral("About %1").arg(sizeText(estimate));
    if (!target)
        return about;
    return QStringLiteral("%1; %2 free on %3")
        .arg(about, sizeText(target->bytes), target->mountPoint);
}

QString shortfallText(const QList<SpaceShortfall> &shortfalls)
{
    QStringList sentences;
    for (const SpaceShortfall &shortfall : shortfalls)
        sentences.append(QStringLiteral("The backup needs about %1 in %2 (%3), which has %4 "
                                        "free: %5 too little.")
                             .arg(sizeText(shortfall.needed), shortfall.place, shortfall.mountPoint,
                                  sizeText(shortfall.free),
                                  sizeText(shortfall.needed - shortfall.free)));
    return sentences.join(QLatin1Char(' '));
}

} // namespace quillory
