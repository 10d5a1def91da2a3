#pragma once

#include "app/itemtable.h"
#include "app/programcontext.h"
#include "app/storediscovery.h"
#include "platform/registrystore.h"
#include "platform/runobserver.h"
#include "platform/zip/ziparchive.h"
#include "restore/openedbackup.h"
#include "restore/restorerun.h"
#include "support/itemflags.h"
#include "support/testsupport.h"

#include <QMap>
#include <QTemporaryDir>

#include <functional>
#include <initializer_list>
#include <optional>
#include <utility>

namespace quillory::test {

// The key trees of the registry items, in index order.
inline const QString registryKeys[] = {MailKeys::mailRules, MailKeys::newsRules, MailKeys::junkMail,
                                       MailKeys::signatures, MailKeys::settings};

// A mail profile made by quillory-make-profile with the given options, in a folder of its own.
class SampleProfile {
public:
    explicit SampleProfile(const QStringList &options = {});

    bool isValid() const { return m_made; }
    QString path() const { return m_dir.path(); }
    QString store(const QString &below = {}) const;
    QString stationery() const;

private:
    QTemporaryDir m_dir;
    bool m_made = false;
};

// The program at work on a profile, set up as the window and brevnor-cli set it up.
struct Session final : RunObserver {
    explicit Session(const QString &prefix);

    OpenOutcome open(const QString &archive, std::optional<QString> password = {});
    RestoreOutcome restore(const ItemFlags &ticked);
    void progress(const QString &step, int percent) override;

    ScriptedDialogs dialogs;
    ProgramContext context;
    ZipArchive Zip1;
    OpenedBackup state;
    QStringList steps; // the progress texts of the last run
    int percent = 0;
    // Every progress report of the last run, in order: its text (often empty) and percent.
    QList<std::pair<QString, int>> reports;
    // Told each step's text as the run reaches it, for a test to act at that point of the run.
    std::function<void(const QString &step)> onStep;
};

QString reportOf(std::initializer_list<std::pair<int, bool>> lines);

// Backs the profile up as the window does.
Result backUp(const QString &prefix, const QString &archive, const ItemFlags &items,
              const QString &password = {}, bool unattended = false);

// Every key below `keyPath` and every value a registry text file carries, by "key\name".
QMap<QString, RegistryValue> registryTree(const QString &prefix, const QString &keyPath);

// Writes archives with whatever names, kinds and contents a test needs, every entry stored as
// it is, so that its bytes can be found and damaged, unless it is to be deflated.
class ArchiveWriter {
public:
    ArchiveWriter &add(const QString &name, const QByteArray &data);
    ArchiveWriter &addLink(const QString &name, const QByteArray &target);
    // Deflated, for data that is to take little room in the archive.
    ArchiveWriter &addDeflated(const QString &name, const QByteArray &data);
    bool write(const QString &path, const QString &password = {}, bool deflate = false) const;
    QByteArray bytes() const;

private:
    struct Entry {
        QString name;
        QByteArray data;
        bool link = false;
        bool deflated = false;
    };
    QList<Entry> m_entries;
};

// Changes one byte of the first occurrence of `marker` in the file.
bool damage(const QString &file, const QByteArray &marker);
// Changes the byte `into` bytes after the start of the data of the archive entry `name` (found by
// its local header), encrypted or not; a negative `into` counts back from the data's end.
bool damageEntry(const QString &archive, const QByteArray &name, qsizetype into);

// A backup information file with the given list lines and item flags.
QByteArray infoFile(const QString &flags, const QList<std::pair<QString, QString>> &lists);

} // namespace quillory::test
