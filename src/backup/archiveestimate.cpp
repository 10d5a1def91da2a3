#include "backup/archiveestimate.h"

#include "app/storediscovery.h"
#include "backup/backupcollectors.h"
#include "backup/storefiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>

#include <libdeflate.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace quillory {

namespace {

// An entry's local and central headers, its data descriptor and extra fields, without its name.
constexpr quint64 entryOverhead = 120;
// A protected entry's salt, verifier, authentication code and AES field.
constexpr quint64 protectionOverhead = 40;
// A registry item's text: a few kilobytes in any profile, not worth reading the registry for.
constexpr quint64 registryItemBytes = 8 * 1024;
// The backup information file, and the end of the archive's central directory.
constexpr quint64 infoFileBytes = 2048;
// Files of each kind sampled, spread over the kind's files, and what is read of each: the start
// and the middle, where a message's text and its attachment lie. About 4 MB in all per kind.
constexpr qsizetype samplesPerKind = 64;
constexpr qint64 sampleChunk = 32 * 1024;
// The level the archive deflates text with; data that does not shrink comes out alike at any.
constexpr int sampleLevel = 6;

struct StoreFile {
    QString path;
    QString entryName;
    quint64 size = 0;
};

// How well the bytes read from `file` compress: compressed to read, both counted.
struct Sampled {
    quint64 read = 0;
    quint64 packed = 0;
};

// A file up to two chunks is read whole; of a larger one, a chunk at the start and one in the
// middle.
Sampled sample(libdeflate_compressor *compressor, const StoreFile &file)
{
    Sampled sampled;
    QFile in(file.path);
    if (!in.open(QIODevice::ReadOnly))
        return sampled;
    const bool whole = qint64(file.size) <= 2 * sampleChunk;
    QByteArray packed(
        qsizetype(libdeflate_deflate_compress_bound(compressor, size_t(2 * sampleChunk))),
        Qt::Uninitialized);
    for (const qint64 start : whole ? QList<qint64>{0} : QList<qint64>{0, qint64(file.size) / 2}) {
        if (!in.seek(start))
            break;
        const QByteArray data = in.read(whole ? 2 * sampleChunk : sampleChunk);
        if (data.isEmpty())
            break;
        const size_t size =
            libdeflate_deflate_compress(compressor, data.constData(), size_t(data.size()),
                                        packed.data(), size_t(packed.size()));
        sampled.read += quint64(data.size());
        // Deflate stores what it cannot shrink.
        sampled.packed += size == 0 ? quint64(data.size()) : std::min<quint64>(size, data.size());
    }
    return sampled;
}

QString kindOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toLower();
}

// The compressed size of each file, from how the samples of its kind compressed.
class Compression {
public:
    explicit Compression(const QList<StoreFile> &files)
        : m_compressor(libdeflate_alloc_compressor(sampleLevel), libdeflate_free_compressor)
    {
        QHash<QString, QList<const StoreFile *>> kinds;
        for (const StoreFile &file : files)
            kinds[kindOf(file.path)].append(&file);
        for (auto kind = kinds.cbegin(); kind != kinds.cend(); ++kind)
            m_ratios.insert(kind.key(), ratioOf(kind.value()));
    }

    quint64 packed(const StoreFile &file) const
    {
        return quint64(double(file.size) * m_ratios.value(kindOf(file.path), 1.0));
    }

private:
    double ratioOf(const QList<const StoreFile *> &files) const
    {
        if (!m_compressor)
            return 1.0;
        const qsizetype step = std::max<qsizetype>(1, files.size() / samplesPerKind);
        double sizes = 0;
        double packed = 0;
        for (qsizetype i = step / 2; i < files.size(); i += step) {
            const Sampled sampled = sample(m_compressor.get(), *files[i]);
            if (sampled.read == 0)
                continue;
            sizes += double(files[i]->size);
            packed += double(files[i]->size) * double(sampled.packed) / double(sampled.read);
        }
        return sizes > 0 ? packed / sizes : 1.0;
    }

    std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor *)> m_compressor;
    QHash<QString, double> m_ratios;
};

// Every regular file below `folder`, links followed as the backup follows them, named as in its
// archive. Pipes and devices hold no mail, and opening a pipe to sample it would wait for a writer.
QList<StoreFile> treeFiles(const QString &folder)
{
    QList<StoreFile> files;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext())
        if (const QFileInfo info = it.nextFileInfo(); info.isFile())
            files.append(
                {info.filePath(), root.relativeFilePath(info.filePath()), quint64(info.size())});
    return files;
}

QList<StoreFile> filesIn(const QString &folder, bool (*wanted)(const QString &))
{
    QList<StoreFile> files;
    if (folder.isEmpty())
        return files;
    const QDir dir(folder);
    for (const QString &name : regularFilesIn(folder))
        if (wanted(name))
            files.append({dir.filePath(name), name, quint64(QFileInfo(dir.filePath(name)).size())});
    return files;
}

quint64 entryBytes(quint64 packed, const QString &name, bool protect)
{
    return packed + entryOverhead + 2 * quint64(name.toUtf8().size()) +
           (protect ? protectionOverhead : 0);
}

} // namespace

ArchiveEstimate estimateArchive(const StoreLocations &store, const ItemFlags &items, bool protect)
{
    // Each account's files, then the file items' files: sampled together, since a kind
    // compresses alike wherever it lies.
    QList<QList<StoreFile>> accounts;
    QList<StoreFile> loose;
    const QString storeFolder = store.StoreFolder;
    if (items[ItemMailAccounts] && !storeFolder.isEmpty())
        for (const QString &folder : accountFolders(storeFolder))
            accounts.append(treeFiles(QDir(storeFolder).filePath(folder)));
    const std::array<std::pair<int, QList<StoreFile>>, 4> fileItems = {{
        {ItemLdapAccounts, filesIn(storeFolder, isLdapAccount)},
        {ItemContacts, filesIn(store.contactsFolder(), isContactOrGroup)},
        {ItemMailDatabase, filesIn(storeFolder, isMailDatabase)},
        {ItemStationeries, filesIn(store.stationeryFolder, isAnyFile)},
    }};
    for (const auto &[index, files] : fileItems)
        if (items[index])
            loose += files;
    QList<StoreFile> all = loose;
    for (const QList<StoreFile> &account : std::as_const(accounts))
        all += account;
    const Compression compression(all);

    ArchiveEstimate estimate;
    for (const QList<StoreFile> &account : std::as_const(accounts)) {
        quint64 bytes = 22; // the end of its central directory
        for (const StoreFile &file : account) {
            const quint64 entry = entryBytes(compression.packed(file), file.entryName, false);
            bytes += entry;
            estimate.beside = std::max(estimate.beside, entry);
        }
        estimate.bytes += entryBytes(bytes, QStringLiteral("account.zip"), protect);
    }
    for (const StoreFile &file : std::as_const(loose))
        estimate.bytes += entryBytes(compression.packed(file), file.entryName, protect);
    // Registry exports and the backup information file are staged, then taken in whole.
    quint64 stagedFiles = infoFileBytes;
    for (const int index :
         {ItemMailRules, ItemNewsRules, ItemJunkMail, ItemSignatures, ItemSettings})
        if (items[index])
            stagedFiles += registryItemBytes;
    estimate.bytes += stagedFiles;
    estimate.staged = stagedFiles;
    return estimate;
}

} // namespace quillory
