#include "restorefixture.h"

#include "app/programstart.h"
#include "app/stagingfolder.h"
#include "backup/backuprun.h"
#include "platform/wine/wineregistrystore.h"
#include "restore/restoreitems.h"

#include <QTemporaryFile>
#include <QtEndian>

#include <sys/stat.h>
#include <zip.h>

namespace quillory::test {

SampleProfile::SampleProfile(const QStringList &options)
    : m_made(makeSampleProfile(m_dir.path(), options))
{
}

QString SampleProfile::store(const QString &below) const
{
    const QString store = m_dir.filePath(
        QStringLiteral("drive_c/users/anna/AppData/Local/Microsoft/Windows Live Mail"));
    return below.isEmpty() ? store : store + QLatin1Char('/') + below;
}

QString SampleProfile::stationery() const
{
    return m_dir.filePath(QStringLiteral("drive_c/users/anna/Documents/My Stationery"));
}

Session::Session(const QString &prefix) : context(prefix, dialogs)
{
    loadProgram(context);
}

OpenOutcome Session::open(const QString &archive, std::optional<QString> password)
{
    return openBackupArchive(
        Zip1, archive, [&](const QString &) { return password; }, context.staging(), state);
}

RestoreOutcome Session::restore(const ItemFlags &ticked)
{
    steps.clear();
    reports.clear();
    return performRestore(context, Zip1, state, ticked, *this);
}

void Session::progress(const QString &step, int done)
{
    if (!step.isEmpty()) {
        steps.append(step);
        if (onStep)
            onStep(step);
    }
    percent = done;
    reports.append({step, done});
}

QString reportOf(std::initializer_list<std::pair<int, bool>> lines)
{
    QString report = restoreCompletedText + QStringLiteral("\r\n");
    for (const auto &[index, restored] : lines)
        report += QStringLiteral("\r\n") + restoreItemTable()[index].reportName +
                  (restored ? QStringLiteral("\tSuccessed!") : QStringLiteral("\tFail!"));
    return report;
}

Result backUp(const QString &prefix, const QString &archive, const ItemFlags &items,
              const QString &password, bool unattended)
{
    ScriptedDialogs dialogs;
    ProgramContext context(prefix, dialogs);
    loadProgram(context);
    ZipArchive Zip1;
    SilentObserver observer;
    const BackupOutcome outcome = performBackup(
        context, Zip1,
        {archive, items, !password.isEmpty(), password, QStringLiteral("test"), unattended},
        observer);
    if (!outcome.allStored(items))
        return Result::failure(outcome.problems.join(QLatin1Char('\n')));
    return outcome.archive;
}

namespace {

void collectKeys(const WineRegistryStore &store, const QString &path,
                 QMap<QString, RegistryValue> &tree)
{
    const RegistryRoot user = RegistryRoot::CurrentUser;
    tree.insert(path + QLatin1Char('\\'), {});
    for (const RegistryValue &value : store.values(user, path).value_or(QList<RegistryValue>()))
        if (value.type == RegType::Sz || value.type == RegType::ExpandSz ||
            value.type == RegType::Binary || value.type == RegType::Dword)
            tree.insert(path + QLatin1Char('\\') + value.name, value);
    for (const QString &name : store.subkeys(user, path))
        collectKeys(store, path + QLatin1Char('\\') + name, tree);
}

} // namespace

QMap<QString, RegistryValue> registryTree(const QString &prefix, const QString &keyPath)
{
    const WineRegistryStore store(prefix);
    QMap<QString, RegistryValue> tree;
    collectKeys(store, keyPath.section(QLatin1Char('\\'), 1), tree);
    return tree;
}

ArchiveWriter &ArchiveWriter::add(const QString &name, const QByteArray &data)
{
    m_entries.append({name, data, false});
    return *this;
}

ArchiveWriter &ArchiveWriter::addLink(const QString &name, const QByteArray &target)
{
    m_entries.append({name, target, true});
    return *this;
}

ArchiveWriter &ArchiveWriter::addDeflated(const QString &name, const QByteArray &data)
{
    m_entries.append({name, data, false, true});
    return *this;
}

bool ArchiveWriter::write(const QString &path, const QString &password, bool deflate) const
{
    zip_t *archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    if (!archive)
        return false;
    const QByteArray secret = password.toUtf8();
    for (const Entry &entry : m_entries) {
        zip_source_t *source =
            zip_source_buffer(archive, entry.data.constData(), zip_uint64_t(entry.data.size()), 0);
        const zip_int64_t index =
            zip_file_add(archive, entry.name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
        // An entry meant to take little room is deflated as small as deflate makes it.
        zip_set_file_compression(archive, zip_uint64_t(index),
                                 deflate || entry.deflated ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                                 entry.deflated ? 9 : 0);
        const zip_uint32_t mode = entry.link ? (S_IFLNK | 0777) : (S_IFREG | 0644);
        zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                         mode << 16);
        if (!secret.isEmpty())
            zip_file_set_encryption(archive, zip_uint64_t(index), ZIP_EM_AES_256,
                                    secret.constData());
    }
    return zip_close(archive) == 0;
}

QByteArray ArchiveWriter::bytes() const
{
    QTemporaryFile file;
    if (!file.open() || !write(file.fileName()))
        return {};
    return readFile(file.fileName());
}

bool damage(const QString &file, const QByteArray &marker)
{
    QByteArray bytes = readFile(file);
    const qsizetype at = bytes.indexOf(marker);
    if (at < 0)
        return false;
    bytes[at] = char(bytes[at] ^ 0x20);
    return writeFile(file, bytes);
}

bool damageEntry(const QString &archive, const QByteArray &name, qsizetype into)
{
    QByteArray bytes = readFile(archive);
    const QByteArray localHeader("PK\x03\x04", 4);
    constexpr qsizetype nameOffset = 30;
    for (qsizetype at = bytes.indexOf(name); at >= nameOffset; at = bytes.indexOf(name, at + 1)) {
        if (bytes.mid(at - nameOffset, 4) != localHeader ||
            qFromLittleEndian<quint16>(bytes.constData() + at - 4) != name.size())
            continue;
        const qsizetype data =
            at + name.size() + qFromLittleEndian<quint16>(bytes.constData() + at - 2);
        if (into < 0)
            into += qFromLittleEndian<quint32>(bytes.constData() + at - 12);
        if (into < 0 || data + into >= bytes.size())
            return false;
        bytes[data + into] = char(bytes[data + into] ^ 0x20);
        return writeFile(archive, bytes);
    }
    return false;
}

QByteArray infoFile(const QString &flags, const QList<std::pair<QString, QString>> &lists)
{
    QByteArray text = "BackupComputer=pc\r\nBackupLogonUser=anna\r\nBackupTime=3/2/09 10:20:30\r\n"
                      "BackupInformation=firstPS$KRVsecond\r\n";
    for (const auto &[key, value] : lists)
        text += key.toUtf8() + '=' + value.toUtf8() + "\r\n";
    return text + "BackupItem=" + flags.toUtf8() + "\r\n";
}

} // namespace quillory::test
