#pragma once

#include "app/programcontext.h"
#include "app/programstart.h"
#include "backup/backuprun.h"
#include "platform/freespace.h"
#include "support/itemflags.h"
#include "support/testsupport.h"

#include <QMap>
#include <QTemporaryDir>

#include <memory>

namespace quillory::test {

// A sample profile with the program loaded on it, as a run finds it after start-up.
struct LoadedProfile {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<ProgramContext> context;

    QString prefix() const { return dir.filePath(QStringLiteral("prefix")); }
    QString archive(const QString &name = QStringLiteral("backup.wlm")) const
    {
        return dir.filePath(name);
    }
    bool load(const QStringList &profileOptions = {})
    {
        if (!makeSampleProfile(prefix(), profileOptions))
            return false;
        context = std::make_unique<ProgramContext>(prefix(), dialogs);
        loadProgram(*context);
        return true;
    }
};

// Stands in for the file systems: each mount point has the room given, and a path lies on the
// longest mount point it starts with; elsewhere the room is unknown.
class FakeSpace : public FreeSpaceQuery {
public:
    explicit FakeSpace(QList<FreeSpace> mounts) : m_mounts(std::move(mounts)) {}
    std::optional<FreeSpace> at(const QString &path) const override;

private:
    QList<FreeSpace> m_mounts;
};

// A backup of `items` by the core, as the window runs it (or the unattended run, `unattended`).
BackupOutcome backUp(LoadedProfile &profile, const ItemFlags &items, bool unattended = false);
BackupOutcome backUp(LoadedProfile &profile, const BackupRequest &request);

// The entries of an archive, name to content, read with the project's own zip component.
QMap<QString, QByteArray> archiveContents(const QString &path, const QString &password = {});
// The lines of the backup information file inside an archive.
QStringList infoLines(const QString &archivePath, const QString &password = {});

} // namespace quillory::test
