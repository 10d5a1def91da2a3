#include "platform/zip/ziparchive.h"

#include "platform/filereplacement.h"
#include "platform/interruption.h"
#include "platform/text/legacytext.h"
#include "platform/zip/archiveslices.h"
#include "platform/zip/entrycheck.h"
#include "platform/zip/entrydata.h"
#include "platform/zip/entryfile.h"
#include "platform/zip/entryinfo.h"
#include "platform/zip/entrynames.h"
#include "platform/zip/extractionplan.h"
#include "platform/zip/libziphandles.h"
#include "platform/zip/nestedarchive.h"
#include "platform/zip/wholeentrywriter.h"
#include "platform/zip/zipentry.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <zip.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace quillory {

using namespace zipdetail;

namespace {

ArchiveHandle openForReading(const QString &path, QString *why = nullptr)
{
    // Opening a pipe would wait for a writer, and a device is no archive.
    if (const QFileInfo info(path); info.exists() && !info.isFile()) {
        if (why)
            *why = QStringLiteral("%1 is not a regular file").arg(path);
        return ArchiveHandle();
    }
    int code = 0;
    ArchiveHandle archive(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code));
    if (!archive && why) {
        *why = zipErrorText(code);
        // An archive cut short (a copy or a download that stopped) starts as one but lacks the
        // directory at its end: libzip's "not a zip archive" would send the user looking for
        // another file.
        QFile file(path);
        if (code == ZIP_ER_NOZIP && file.open(QIODevice::ReadOnly) &&
            file.read(4) == QByteArrayLiteral("PK\x03\x04"))
            *why = QStringLiteral("it is damaged or incomplete: it ends before its directory");
    }
    return archive;
}

Expected<std::vector<EntryInfo>> encryptedFiles(zip_t *archive)
{
    std::vector<EntryInfo> found;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t index = 0; index < count; ++index) {
        Expected<EntryInfo> info = readEntryInfo(archive, zip_uint64_t(index));
        if (!info)
            return info.result();
        if (info->encrypted() && info->kind == EntryInfo::Kind::File)
            found.push_back(std::move(info.value()));
    }
    return found;
}

// libzip checks a password only when an encrypted entry is opened, and then against a check value
// that a wrong password matches now and then. Reading the smallest encrypted entry through to its
// CRC or authentication code settles it at little cost.
Result checkPassword(zip_t *archive, const QByteArray &secret)
{
    if (zip_set_default_password(archive, secret.isEmpty() ? nullptr : secret.constData()) != 0)
        return Result::failure(archiveErrorText(archive));
    const Expected<std::vector<EntryInfo>> encrypted = encryptedFiles(archive);
    if (!encrypted)
        return encrypted.result();
    if (encrypted->empty())
        return Result::success();
    if (secret.isEmpty())
        return Result::failure(QStringLiteral("it is protected by a password, and none was given"));
    // An empty entry under the traditional encryption has nothing but its check byte to offer.
    const auto smallest = std::min_element(
        encrypted->begin(), encrypted->end(), [](const EntryInfo &a, const EntryInfo &b) {
            return std::pair(a.size == 0, a.size) < std::pair(b.size == 0, b.size);
        });
    return readEntryData(archive, *smallest, nullptr, secret);
}

// Which folders of the plan are real folders below `root`, reached without following a symbolic
// link. A file is taken over from there only, so that a restored file never becomes another name
// of a file outside the folder it replaces.
std::vector<char> realFolders(const QString &root, const ExtractionPlan &plan, bool &rootReal)
{
    std::vector<char> real(size_t(plan.folders.size()), 0);
    const QFileInfo top(root);
    rootReal = !root.isEmpty() && top.isDir() && !top.isSymLink();
    if (!rootReal)
        return real;
    for (qsizetype id = 0; id < plan.folders.size(); ++id) {
        const qsizetype parent = plan.folders.at(id).parent;
        if (parent != ExtractionPlan::top && !real[size_t(parent)])
            continue;
        const QFileInfo info(root + QLatin1Char('/') + plan.folderPath(id));
        real[size_t(id)] = info.isDir() && !info.isSymLink();
    }
    return real;
}

// Writes every entry of `archive` below `folder`; `archivePath` names it in messages. Files
// already as they would be written at the same place below `unchangedFolder` are linked instead.
Result extractArchive(ArchiveSlices &archive, const QString &archivePath, const QString &folder,
                      const QByteArray &password, const ZipArchive::ReadIncrement &progress,
                      const QString &unchangedFolder = {})
{
    const Expected<ExtractionPlan> plan = planExtraction(archive);
    if (!plan)
        return Result::failure(
            QStringLiteral("Nothing is extracted from %1: %2").arg(archivePath, plan.message()));
    if (!QDir().mkpath(folder))
        return Result::failure(QStringLiteral("Cannot create the folder %1.").arg(folder));
    const QDir root(QFileInfo(folder).absoluteFilePath());
    if (Result clear = checkTarget(*plan, root); !clear)
        return Result::failure(
            QStringLiteral("Nothing is extracted from %1: %2").arg(archivePath, clear.message()));
    for (qsizetype id = 0; id < plan->folders.size(); ++id)
        if (const QString sub = root.filePath(plan->folderPath(id)); !root.mkpath(sub))
            return Result::failure(QStringLiteral("Cannot create the folder %1.").arg(sub));
    WholeEntryWriter whole;
    bool unchangedRoot = false;
    const std::vector<char> unchangedFolders = realFolders(unchangedFolder, *plan, unchangedRoot);
    // The plan's files are in the archive's order, and so slice after slice.
    auto file = plan->files.cbegin();
    return archive.eachSlice([&](zip_t *entries, quint64 first) {
        const quint64 end = first + quint64(zip_get_num_entries(entries, 0));
        for (; file != plan->files.cend() && file->index < end; ++file) {
            const Expected<EntryInfo> entry = readEntryInfo(entries, file->index - first);
            if (!entry)
                return entry.result();
            const QString path = plan->path(*file);
            const QString target = root.filePath(path);
            std::optional<Result> written;
            if (WholeEntryWriter::fits(*entry)) {
                const bool linkable = file->folder == ExtractionPlan::top
                                          ? unchangedRoot
                                          : bool(unchangedFolders[size_t(file->folder)]);
                written =
                    whole.write(entries, *entry, target,
                                linkable ? unchangedFolder + QLatin1Char('/') + path : QString());
            }
            if (!written)
                written = writeEntryFile(entries, *entry, target, password, Durability::Unsynced);
            if (!*written)
                return *written;
            if (progress)
                progress(entry->compressedSize);
        }
        return Result::success();
    });
}

// Refuses an archive whose entries' stored data add up to more than its `archiveSize` bytes.
Result checkSlicedSizes(ArchiveSlices &archive, quint64 archiveSize)
{
    quint64 stored = 0;
    return archive.eachSlice(
        [&](zip_t *entries, quint64) { return checkStoredSizes(entries, archiveSize, &stored); });
}

} // namespace

bool ZipArchive::IsProtected(const QString &path)
{
    const ArchiveHandle archive = openForReading(path);
    if (!archive)
        return false;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t index = 0; index < count; ++index) {
        const Expected<EntryInfo> info = readEntryInfo(archive.get(), zip_uint64_t(index));
        if (info && info->encrypted())
            return true;
    }
    return false;
}

Result ZipArchive::OpenArchive(const QString &path)
{
    CloseArchive();
    QString why;
    ArchiveHandle archive = openForReading(path, &why);
    Result opened = Result::failure(why);
    QByteArray secret;
    // An archive protected on Windows may hold the password in the legacy code page.
    for (const QByteArray &form : passwordForms(m_password)) {
        if (!archive)
            break;
        opened = checkPassword(archive.get(), form);
        if (opened) {
            secret = form;
            break;
        }
    }
    if (!opened) {
        m_openError = QStringLiteral("Cannot open the archive %1: %2").arg(path, opened.message());
        return Result::failure(m_openError);
    }
    quint64 stored = 0;
    if (Result sizes = checkStoredSizes(archive.get(), quint64(QFileInfo(path).size()), &stored);
        !sizes) {
        m_openError = QStringLiteral("Cannot open the archive %1: %2").arg(path, sizes.message());
        return Result::failure(m_openError);
    }
    // Of two entries of one name, any reader would take one and pass over the other without a
    // word: such an archive is damaged.
    QHash<QString, quint64> indexes;
    bool anyEncrypted = false;
    std::optional<QString> plainFile;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t index = 0; index < count; ++index) {
        const QString name = entryName(archive.get(), zip_uint64_t(index));
        if (indexes.contains(name)) {
            m_openError = QStringLiteral("Cannot open the archive %1: it is damaged, two of its "
                                         "entries are named \"%2\".")
                              .arg(path, shownName(name));
            return Result::failure(m_openError);
        }
        indexes.insert(name, quint64(index));
        zip_stat_t st;
        if (zip_stat_index(archive.get(), zip_uint64_t(index), 0, &st) == 0 &&
            (st.valid & ZIP_STAT_ENCRYPTION_METHOD)) {
            anyEncrypted = anyEncrypted || st.encryption_method != ZIP_EM_NONE;
            if (st.encryption_method == ZIP_EM_NONE && !name.endsWith(QLatin1Char('/')) &&
                !plainFile)
                plainFile = name;
        }
    }
    // A protected archive has every file encrypted. One that is not was added by someone without
    // the password, and the password would vouch for what it never saw.
    if (anyEncrypted && plainFile) {
        m_openError = QStringLiteral("Cannot open the archive %1: its entry \"%2\" is not "
                                     "protected by the password as the others are, so it was "
                                     "added without it; the archive has been tampered with.")
                          .arg(path, shownName(*plainFile));
        return Result::failure(m_openError);
    }
    m_openError.clear();
    m_zip = archive.release();
    m_openPath = path;
    m_openPassword = secret;
    m_entryIndexes = std::move(indexes);
    return Result::success();
}

Result ZipArchive::requireOpen() const
{
    return m_zip ? Result::success() : Result::failure(QStringLiteral("No archive is open."));
}

QStringList ZipArchive::entryNames() const
{
    QStringList names;
    const zip_int64_t count = m_zip ? zip_get_num_entries(m_zip, 0) : 0;
    for (zip_int64_t index = 0; index < count; ++index)
        names.append(entryName(m_zip, zip_uint64_t(index)));
    return names;
}

std::optional<QString> ZipArchive::entryNamedByBytes(const QByteArray &rawName) const
{
    if (!m_zip || rawName.isEmpty())
        return std::nullopt;
    const zip_int64_t index = zip_name_locate(m_zip, rawName.constData(), ZIP_FL_ENC_RAW);
    if (index < 0)
        return std::nullopt;
    return entryName(m_zip, zip_uint64_t(index));
}

Expected<quint64> ZipArchive::entryIndex(const QString &name) const
{
    if (Result open = requireOpen(); !open)
        return open;
    const auto found = m_entryIndexes.constFind(name);
    if (found == m_entryIndexes.cend())
        return Result::failure(
            QStringLiteral("The archive %1 holds no entry named \"%2\".").arg(m_openPath, name));
    return *found;
}

Expected<ZipEntry> ZipArchive::FindEntry(const QString &name)
{
    const Expected<quint64> index = entryIndex(name);
    if (!index)
        return index.result();
    return ZipEntry(this, *index, name, m_generation);
}

Result ZipArchive::extractEntry(quint64 index, quint64 generation, const QString &folder)
{
    if (!m_zip || generation != m_generation)
        return Result::failure(QStringLiteral("The archive of this entry is no longer open."));
    const Expected<EntryInfo> info = readEntryInfo(m_zip, index);
    if (!info)
        return info.result();
    Result safe = checkBareEntryName(info->name);
    if (safe && info->kind != EntryInfo::Kind::File)
        safe = Result::failure(QStringLiteral("it is %1").arg(kindText(info->kind)));
    if (!safe)
        return Result::failure(
            QStringLiteral("Entry \"%1\" is refused: %2.").arg(info->name, safe.message()));
    if (!QFileInfo(folder).isDir())
        return Result::failure(
            QStringLiteral("Entry \"%1\" is not extracted: the folder %2 does not exist.")
                .arg(info->name, folder));
    if (Result room = checkRoom(folder, info->size); !room)
        return room;
    return writeEntryFile(m_zip, *info, QDir(folder).absoluteFilePath(info->name), m_openPassword,
                          Durability::Synced);
}

quint64 ZipArchive::declaredSize(quint64 index, quint64 generation) const
{
    if (!m_zip || generation != m_generation)
        return 0;
    const Expected<EntryInfo> info = readEntryInfo(m_zip, index);
    return info ? info->size : 0;
}

Expected<QByteArray> ZipArchive::readEntry(quint64 index, quint64 generation, quint64 maxBytes)
{
    if (!m_zip || generation != m_generation)
        return Result::failure(QStringLiteral("The archive of this entry is no longer open."));
    const Expected<EntryInfo> info = readEntryInfo(m_zip, index);
    if (!info)
        return info.result();
    if (info->kind != EntryInfo::Kind::File)
        return Result::failure(QStringLiteral("Entry \"%1\" is refused: it is %2.")
                                   .arg(shownName(info->name), kindText(info->kind)));
    // The data never runs past the size declared, which is checked as it is read.
    if (info->size > maxBytes)
        return Result::failure(
            QStringLiteral("Entry \"%1\" is refused: it declares %2 bytes, more than the %3 "
                           "it may hold.")
                .arg(shownName(info->name))
                .arg(info->size)
                .arg(maxBytes));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (Result read = readEntryData(m_zip, *info, &buffer, m_openPassword); !read)
        return read;
    return buffer.data();
}

Result ZipArchive::ExtractAll(const QString &folder)
{
    if (Result open = requireOpen(); !open)
        return open;
    ArchiveSlices whole(m_zip);
    return extractArchive(whole, m_openPath, folder, m_openPassword, {});
}

Result ZipArchive::ExtractNested(const QString &name, const QString &folder,
                                 const QString &scratchFolder, const QString &unchangedFolder,
                                 const ReadIncrement &progress)
{
    return readNested(name, scratchFolder, [&](ArchiveSlices &nested) {
        return extractArchive(nested, m_openPath + QLatin1Char('/') + name, folder, {}, progress,
                              unchangedFolder);
    });
}

Expected<quint64> ZipArchive::PlanNested(const QString &name, const QString &scratchFolder)
{
    quint64 total = 0;
    const Result planned = readNested(name, scratchFolder, [&](ArchiveSlices &nested) {
        const Expected<ExtractionPlan> plan = planExtraction(nested);
        if (!plan)
            return Result::failure(QStringLiteral("Nothing is extracted from %1: %2")
                                       .arg(m_openPath + QLatin1Char('/') + name, plan.message()));
        total = plan->totalSize;
        return Result::success();
    });
    if (!planned)
        return planned;
    return total;
}

Result ZipArchive::VerifyNested(const QString &name, const QString &scratchFolder)
{
    return readNested(name, scratchFolder, [&](ArchiveSlices &nested) {
        return nested.eachSlice([&](zip_t *entries, quint64) {
            const zip_int64_t count = zip_get_num_entries(entries, 0);
            for (zip_int64_t index = 0; index < count; ++index) {
                const Expected<EntryInfo> info = readEntryInfo(entries, zip_uint64_t(index));
                if (!info)
                    return info.result();
                if (info->kind != EntryInfo::Kind::File)
                    continue;
                if (Result intact = checkEntry(entries, *info, QByteArray()); !intact)
                    return Result::failure(QStringLiteral("The nested archive \"%1\": %2")
                                               .arg(name, intact.message()));
            }
            return Result::success();
        });
    });
}

Expected<QList<ZipArchive::NestedEntry>> ZipArchive::NestedEntries(const QString &name,
                                                                   const QString &scratchFolder)
{
    QList<NestedEntry> entries;
    const Result listed = readNested(name, scratchFolder, [&](ArchiveSlices &nested) {
        const Result read = nested.eachSlice([&](zip_t *sliceEntries, quint64) {
            const zip_int64_t count = zip_get_num_entries(sliceEntries, 0);
            for (zip_int64_t index = 0; index < count; ++index) {
                const Expected<EntryInfo> info = readEntryInfo(sliceEntries, zip_uint64_t(index));
                if (!info)
                    return info.result();
                entries.append({info->name, info->size, info->kind == EntryInfo::Kind::Folder});
            }
            return Result::success();
        });
        if (!read)
            return Result::failure(QStringLiteral("The nested archive \"%1\" is damaged: %2")
                                       .arg(name, read.message()));
        return Result::success();
    });
    if (!listed)
        return listed;
    return entries;
}

Result ZipArchive::readNested(const QString &name, const QString &scratchFolder,
                              const std::function<Result(ArchiveSlices &nested)> &read)
{
    const Expected<quint64> found = entryIndex(name);
    if (!found)
        return found.result();
    const Expected<EntryInfo> info = readEntryInfo(m_zip, *found);
    if (!info)
        return info.result();
    const auto readSlices = [&](SourceHandle source) {
        Expected<ArchiveSlices> nested = ArchiveSlices::open(std::move(source));
        if (!nested)
            return Result::failure(QStringLiteral("The nested archive \"%1\" cannot be read: %2")
                                       .arg(name, nested.message()));
        if (Result sizes = checkSlicedSizes(nested.value(), info->size); !sizes)
            return Result::failure(
                QStringLiteral("The nested archive \"%1\" %2").arg(name, sizes.message()));
        return read(nested.value());
    };
    // Nested archives carry no password of their own.
    if (readableInPlace(*info)) {
        Expected<SourceHandle> nested = openNestedSource(m_zip, *info, m_openPassword);
        if (!nested)
            return nested.result();
        return readSlices(std::move(nested.value()));
    }
    if (Result room = checkRoom(scratchFolder, info->size); !room)
        return room;
    QTemporaryFile copy(QDir(scratchFolder).filePath(QStringLiteral("nested-XXXXXX.zip")));
    if (!copy.open())
        return Result::failure(QStringLiteral("Cannot create a file in %1: %2")
                                   .arg(scratchFolder, copy.errorString()));
    if (Result copied = readEntryData(m_zip, *info, &copy, m_openPassword); !copied)
        return copied;
    if (!copy.flush())
        return Result::failure(
            QStringLiteral("Cannot write %1: %2").arg(copy.fileName(), copy.errorString()));
    zip_error_t error;
    zip_error_init(&error);
    SourceHandle file(
        zip_source_file_create(QFile::encodeName(copy.fileName()).constData(), 0, -1, &error));
    const QString why = zipErrorText(&error);
    zip_error_fini(&error);
    if (!file)
        return Result::failure(
            QStringLiteral("The nested archive \"%1\" cannot be read: %2").arg(name, why));
    return readSlices(std::move(file));
}

quint64 ZipArchive::storedSize(const QString &name) const
{
    const auto found = m_entryIndexes.constFind(name);
    if (!m_zip || found == m_entryIndexes.cend())
        return 0;
    const Expected<EntryInfo> info = readEntryInfo(m_zip, *found);
    return info ? info->compressedSize : 0;
}

Result ZipArchive::VerifyEntries(const QStringList &names, const ReadProgress &progress)
{
    if (Result open = requireOpen(); !open)
        return open;
    std::vector<zip_uint64_t> indexes;
    if (names.isEmpty()) {
        const zip_int64_t count = zip_get_num_entries(m_zip, 0);
        for (zip_int64_t index = 0; index < count; ++index)
            indexes.push_back(zip_uint64_t(index));
    }
    for (const QString &name : names) {
        const auto found = m_entryIndexes.constFind(name);
        if (found == m_entryIndexes.cend())
            return Result::failure(QStringLiteral("The archive %1 holds no entry named \"%2\".")
                                       .arg(m_openPath, name));
        indexes.push_back(*found);
    }
    std::vector<EntryInfo> entries;
    quint64 total = 0;
    for (const zip_uint64_t index : indexes) {
        Expected<EntryInfo> info = readEntryInfo(m_zip, index);
        if (!info)
            return Result::failure(
                QStringLiteral("The archive %1 is damaged: %2").arg(m_openPath, info.message()));
        total += info->compressedSize;
        entries.push_back(std::move(info.value()));
    }
    quint64 done = 0;
    const ReadIncrement advance = [&](quint64 bytes) {
        done += bytes;
        progress(done, total);
    };
    for (const EntryInfo &entry : entries) {
        if (entry.kind == EntryInfo::Kind::Folder)
            continue;
        if (Result read =
                checkEntry(m_zip, entry, m_openPassword, progress ? advance : ReadIncrement());
            !read)
            return Result::failure(
                QStringLiteral("The archive %1 is damaged: %2").arg(m_openPath, read.message()));
    }
    return Result::success();
}

} // namespace quillory
