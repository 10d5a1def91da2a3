#include "backup/archiveestimate.h"

#include "app/storediscovery.h"
#include "backup/backupcollectors.h"
#include "backup/storefiles.h"
#include "platform/treewalk.h"

#include <QDir>
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

// A file up to two chunks is read whole; of a larger one, a chunk at the start and one in the
// middle. How well the bytes read compress: compressed to read, both counted.
struct Sampled {
    quint64 read = 0;
    quint64 packed = 0;
};

Sampled sample(libdeflate_compressor *compressor, const QString &path)
{
    Sampled sampled;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return sampled;
    const qint64 size = in.size();
    const bool whole = size <= 2 * sampleChunk;
    QByteArray packed(
        qsizetype(libdeflate_deflate_compress_bound(compressor, size_t(2 * sampleChunk))),
        Qt::Uninitialized);
    for (const qint64 start : whole ? QList<qint64>{0} : QList<qint64>{0, size / 2}) {
        if (!in.seek(start))
            break;
        const QByteArray data = in.read(whole ? 2 * sampleChunk : sampleChunk);
        if (data.isEmpty())
            break;
        const size_t bytes =
            libdeflate_deflate_compress(compressor, data.constData(), size_t(data.size()),
                                        packed.data(), size_t(packed.size()));
        sampled.read += quint64(data.size());
        // Deflate stores what it cannot shrink.
        sampled.packed += bytes == 0 ? quint64(data.size()) : std::min<quint64>(bytes, data.size());
    }
    return sampled;
}

QString kindOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toLower();
}

// The files of one kind, wherever they lie: a spread of them to sample, kept as they are met
// (every `stride`-th; when twice enough are kept, every other one goes and the stride doubles),
// so that a store of any size costs the same few paths.
struct KindSamples {
    QList<std::pair<QString, quint64>> files;
    qsizetype seen = 0;
    qsizetype stride = 1;

    void add(const QString &path, quint64 size)
    {
        if (seen++ % stride != 0)
            return;
        files.append({path, size});
        if (files.size() < 2 * samplesPerKind)
            return;
        for (qsizetype i = 0; i < files.size() / 2; ++i)
            files[i] = files[2 * i];
        files.resize(files.size() / 2);
        stride *= 2;
    }
};

// The sum of what one archive's entries hold, by kind, and their names: what its size needs,
// without a list of its files.
struct EntryTotals {
    QHash<QString, quint64> bytesByKind;
    quint64 files = 0;
    quint64 nameBytes = 0;
    // The largest file, by size, and what its entry adds besides its data.
    quint64 largest = 0;
    QString largestKind;
    quint64 largestExtra = 0;
};

quint64 entryExtra(const QString &name, bool protect)
{
    return entryOverhead + 2 * quint64(name.toUtf8().size()) + (protect ? protectionOverhead : 0);
}

class Tally {
public:
    void add(EntryTotals &totals, const QString &path, const QString &entryName, quint64 size)
    {
        const QString kind = kindOf(entryName);
        m_kinds[kind].add(path, size);
        totals.bytesByKind[kind] += size;
        ++totals.files;
        totals.nameBytes += quint64(entryName.toUtf8().size());
        if (size >= totals.largest) {
            totals.largest = size;
            totals.largestKind = kind;
            totals.largestExtra = entryExtra(entryName, false);
        }
    }

    // How well each kind compresses, from its samples, weighed by their sizes.
    void sampleKinds()
    {
        const std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor *)> compressor(
            libdeflate_alloc_compressor(sampleLevel), libdeflate_free_compressor);
        for (auto kind = m_kinds.cbegin(); kind != m_kinds.cend(); ++kind) {
            double sizes = 0;
            double packed = 0;
            const QList<std::pair<QString, quint64>> &files = kind.value().files;
            const qsizetype step = std::max<qsizetype>(1, files.size() / samplesPerKind);
            for (qsizetype i = step / 2; compressor && i < files.size(); i += step) {
                const Sampled sampled = sample(compressor.get(), files[i].first);
                if (sampled.read == 0)
                    continue;
                sizes += double(files[i].second);
                packed += double(files[i].second) * double(sampled.packed) / double(sampled.read);
            }
            m_ratios.insert(kind.key(), sizes > 0 ? packed / sizes : 1.0);
        }
    }

    // The entries' bytes in their archive.
    quint64 entriesBytes(const EntryTotals &totals, bool protect) const
    {
        double data = 0;
        for (auto kind = totals.bytesByKind.cbegin(); kind != totals.bytesByKind.cend(); ++kind)
            data += double(kind.value()) * m_ratios.value(kind.key(), 1.0);
        return quint64(data) + totals.files * (entryOverhead + (protect ? protectionOverhead : 0)) +
               2 * totals.nameBytes;
    }

    quint64 largestEntry(const EntryTotals &totals) const
    {
        return quint64(double(totals.largest) * m_ratios.value(totals.largestKind, 1.0)) +
               totals.largestExtra;
    }

private:
    QHash<QString, KindSamples> m_kinds;
    QHash<QString, double> m_ratios;
};

// Every regular file below `folder`, links followed as the backup follows them, named as in its
// archive. Pipes and devices hold no mail, and opening a pipe to sample it would wait for a writer.
// With `check`, also what the backup's check of the folder finds.
void addTree(Tally &tally, EntryTotals &totals, const QString &folder, FolderCheck *check)
{
    const auto add = [&](const WalkedEntry &file) {
        tally.add(totals, folder + QLatin1Char('/') + file.path, file.path, file.size);
    };
    if (check) {
        check->readable = checkTreeReadable(folder, &check->size, add);
        return;
    }
    // A walk stopped by a folder it cannot read leaves the rest out; the backup says what it is.
    walkTree(folder, WalkOption::Recurse, [&add](const WalkedEntry &found) {
        if (!found.folder && !found.undecodable)
            add(found);
        return Result::success();
    });
}

void addFiles(Tally &tally, EntryTotals &totals, const QString &folder,
              bool (*wanted)(const QString &))
{
    if (folder.isEmpty())
        return;
    const QDir dir(folder);
    for (const QString &name : regularFilesIn(folder))
        if (wanted(name))
            tally.add(totals, dir.filePath(name), name,
                      quint64(QFileInfo(dir.filePath(name)).size()));
}

quint64 entryBytes(quint64 packed, const QString &name, bool protect)
{
    return packed + entryExtra(name, protect);
}

} // namespace

ArchiveEstimate estimateArchive(const StoreLocations &store, const ItemFlags &items, bool protect,
                                FolderChecks *checks)
{
    // Each account's files, then the file items' files: sampled together, since a kind
    // compresses alike wherever it lies.
    Tally tally;
    QList<EntryTotals> accounts;
    EntryTotals loose;
    const QString storeFolder = store.StoreFolder;
    if (items[ItemMailAccounts] && !storeFolder.isEmpty())
        for (const QString &folder : accountFolders(storeFolder)) {
            const QString path = QDir(storeFolder).filePath(folder);
            addTree(tally, accounts.emplace_back(), path, checks ? &(*checks)[path] : nullptr);
        }
    if (items[ItemLdapAccounts])
        addFiles(tally, loose, storeFolder, isLdapAccount);
    if (items[ItemContacts])
        addFiles(tally, loose, store.contactsFolder(), isContactOrGroup);
    if (items[ItemMailDatabase])
        addFiles(tally, loose, storeFolder, isMailDatabase);
    if (items[ItemStationeries])
        addFiles(tally, loose, store.stationeryFolder, isAnyFile);
    tally.sampleKinds();

    ArchiveEstimate estimate;
    for (const EntryTotals &account : std::as_const(accounts)) {
        // The end of its central directory, and each entry's header there too.
        const quint64 bytes = 22 + tally.entriesBytes(account, false);
        estimate.bytes += entryBytes(bytes, QStringLiteral("account.zip"), protect);
        estimate.beside = std::max(estimate.beside, tally.largestEntry(account));
    }
    estimate.bytes += tally.entriesBytes(loose, protect);
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
