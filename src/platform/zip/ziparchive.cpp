#include "platform/zip/ziparchive.h"

#include "platform/filereplacement.h"
#include "platform/interruption.h"
#include "platform/runownedname.h"
#include "platform/text/legacytext.h"
#include "platform/zip/archivetarget.h"
#include "platform/zip/entrycheck.h"
#include "platform/zip/entrydata.h"
#include "platform/zip/entryfile.h"
#include "platform/zip/entryinfo.h"
#include "platform/zip/entrymaker.h"
#include "platform/zip/entrynames.h"
#include "platform/zip/extractionplan.h"
#include "platform/zip/fileentrysource.h"
#include "platform/zip/libziphandles.h"
#include "platform/zip/nestedarchive.h"
#include "platform/zip/wholeentrywriter.h"
#include "platform/zip/zipentry.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quillory {

using namespace zipdetail;

namespace {

const QLatin1String folderPattern("/*.*");
constexpr zip_uint32_t dosFolderAttribute = 0x10;

QString zipErrorText(zip_error_t *error)
{
    return QString::fromLocal8Bit(zip_error_strerror(error));
}

QString zipErrorText(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = zipErrorText(&error);
    zip_error_fini(&error);
    return text;
}

QString systemError(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

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
    if (!archive && why)
        *why = zipErrorText(code);
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

// libzip removes an archive left without entries rather than writing one; an empty archive is
// nothing but its end record.
Result writeEmptyArchive(FileReplacement &out)
{
    QByteArray endRecord("PK\x05\x06", 4);
    endRecord.append(18, '\0');
    if (out.file().write(endRecord) != endRecord.size())
        return Result::failure(
            QStringLiteral("Cannot write %1: %2").arg(out.path(), out.file().errorString()));
    return Result::success();
}

void reportProgress(zip_t *, double done, void *callback)
{
    (*static_cast<const ZipArchive::ProgressCallback *>(callback))(qRound(done * 100));
}

// A stopped run must not wait for a large archive to be finished only to throw it away.
int stopWhenAsked(zip_t *, void *stopWhen)
{
    const auto &asked = *static_cast<const std::function<bool()> *>(stopWhen);
    return interruptionRequested() || (asked && asked()) ? 1 : 0;
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
Result extractArchive(zip_t *archive, const QString &archivePath, const QString &folder,
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
    for (const auto &[entry, parent, path] : plan->files) {
        const QString target = root.filePath(path);
        std::optional<Result> written;
        if (WholeEntryWriter::fits(entry)) {
            const bool linkable = parent == ExtractionPlan::top
                                      ? unchangedRoot
                                      : bool(unchangedFolders[size_t(parent)]);
            written = whole.write(archive, entry, target,
                                  linkable ? unchangedFolder + QLatin1Char('/') + path : QString());
        }
        if (!written)
            written = writeEntryFile(archive, entry, target, password, Durability::Unsynced);
        if (!*written)
            return *written;
        if (progress)
            progress(entry.compressedSize);
    }
    return Result::success();
}

} // namespace

ZipArchive::~ZipArchive()
{
    CloseArchive();
}

Result ZipArchive::CreateArchive(const QString &path)
{
    CloseArchive();
    if (path.isEmpty())
        return Result::failure(QStringLiteral("No archive name was given."));
    const QFileInfo target(path);
    if (Result writable = checkArchiveTarget(path); !writable)
        return writable;
    if (!QFileInfo(target.absolutePath()).isDir())
        return Result::failure(QStringLiteral("The folder %1 for the archive does not exist.")
                                   .arg(target.absolutePath()));
    m_targetPath = target.absoluteFilePath();
    return Result::success();
}

QString ZipArchive::fileIdentity(const QString &path)
{
    const QFileInfo resolved(FileReplacement(path).target());
    const QString folder = QFileInfo(resolved.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + resolved.fileName();
}

bool ZipArchive::writesTo(const QString &path) const
{
    // A link at the target leads to the file that is replaced: that one is compared.
    const QString target = m_targetPath.isEmpty() ? QString() : fileIdentity(m_targetPath);
    return !target.isEmpty() && QFileInfo(path).fileName() == QFileInfo(target).fileName() &&
           fileIdentity(path) == target;
}

Expected<QList<ZipArchive::PendingEntry>>
ZipArchive::listFolder(const QString &folder, bool recurse, const QString &leftOut)
{
    const QString leftOutName = QFileInfo(leftOut).fileName();
    const QFileInfo root(folder);
    if (!root.isDir())
        return Result::failure(QStringLiteral("The folder %1 does not exist.").arg(folder));
    // QDirIterator passes over a folder it cannot list without a word.
    const auto unreadable = [](const QFileInfo &info) {
        return !info.isReadable() || !info.isExecutable();
    };
    if (unreadable(root))
        return Result::failure(QStringLiteral("The folder %1 cannot be read.").arg(folder));
    const QDir base(root.absoluteFilePath());
    const QString rootPath = base.path();
    // Pipes, sockets, devices and dangling links hold no data to keep; QDir leaves them out.
    QDirIterator it(base.path(), QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                    recurse ? QDirIterator::Subdirectories | QDirIterator::FollowSymlinks
                            : QDirIterator::NoIteratorFlags);
    QList<PendingEntry> entries;
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const bool isFolder = info.isDir();
        if (isFolder && !recurse)
            continue;
        if (isFolder && unreadable(info))
            return Result::failure(
                QStringLiteral("The folder %1 cannot be read.").arg(info.filePath()));
        // The archive being written and the files made while writing one are no data to keep;
        // an archive kept in a folder it backs up would otherwise swallow its old self.
        if (!isFolder && (isRunOwnedTemporary(info.fileName()) ||
                          (!leftOut.isEmpty() && info.fileName() == leftOutName &&
                           fileIdentity(info.absoluteFilePath()) == leftOut)))
            continue;
        QString name = base.relativeFilePath(info.absoluteFilePath());
        if (isFolder)
            name += QLatin1Char('/');
        entries.append({rootPath, name, isFolder, nullptr});
    }
    // Kept until the archive is written: a folder of many files should not keep the list's
    // growing room too.
    entries.squeeze();
    return entries;
}

Result ZipArchive::AddFiles(const QString &path, bool recurse)
{
    if (m_targetPath.isEmpty())
        return Result::failure(
            QStringLiteral("No archive has been started to add %1 to.").arg(path));
    QList<PendingEntry> added;
    if (path.endsWith(folderPattern)) {
        Expected<QList<PendingEntry>> listed =
            listFolder(path.chopped(folderPattern.size()), recurse, m_leftOut);
        if (!listed)
            return listed.result();
        added = std::move(listed.value());
    } else {
        const QFileInfo file(path);
        if (!file.isFile())
            return Result::failure(file.exists() ? QStringLiteral("%1 is not a file.").arg(path)
                                                 : QStringLiteral("%1 does not exist.").arg(path));
        added.append({file.absolutePath(), file.fileName(), false, nullptr});
    }
    return addPending(std::move(added));
}

Result ZipArchive::AddMadeFile(const QString &path, std::shared_ptr<EntryMaker> maker)
{
    if (m_targetPath.isEmpty())
        return Result::failure(
            QStringLiteral("No archive has been started to add %1 to.").arg(path));
    const QFileInfo file(path);
    return addPending({{file.absolutePath(), file.fileName(), false, std::move(maker)}});
}

Result ZipArchive::addPending(QList<PendingEntry> added)
{
    for (const PendingEntry &entry : std::as_const(added))
        if (m_pendingNames.contains(entry.name))
            return Result::failure(
                QStringLiteral("%1 is not added: the archive already has an entry named \"%2\".")
                    .arg(entry.sourcePath(), entry.name));
    for (const PendingEntry &entry : std::as_const(added))
        m_pendingNames.insert(entry.name);
    if (m_pending.isEmpty())
        m_pending = std::move(added);
    else
        m_pending.append(std::move(added));
    return Result::success();
}

Result ZipArchive::WriteArchive(const ProgressCallback &progress)
{
    if (m_targetPath.isEmpty())
        return Result::failure(QStringLiteral("No archive has been started, so none is written."));
    if (m_protect && m_password.isEmpty())
        return Result::failure(
            QStringLiteral("%1 is to be protected, but no password was set.").arg(m_targetPath));
    if (interruptionRequested())
        return Result::failure(interruptionText());
    // Looked at again: the target may have changed since the archive was started.
    if (Result writable = checkArchiveTarget(m_targetPath); !writable)
        return writable;
    removeStaleReplacements(m_targetPath);
    FileReplacement replacement(m_targetPath);
    if (Result opened = replacement.open(); !opened)
        return opened;
    // libzip writes the archive by name, as a file of its own.
    Result written = m_pending.isEmpty() ? writeEmptyArchive(replacement)
                                         : writeEntries(replacement.path(), progress);
    if (written && interruptionRequested())
        written = Result::failure(interruptionText());
    if (!written)
        return written;
    return replacement.commit(m_durable ? Durability::Synced : Durability::Unsynced);
}

Result ZipArchive::writeEntries(const QString &file, const ProgressCallback &progress)
{
    // Outlives the archive, whose sources use it until it is freed.
    EntryWorkspace workspace;
    int code = 0;
    ArchiveHandle archive(
        zip_open(QFile::encodeName(file).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code));
    if (!archive)
        return Result::failure(
            QStringLiteral("Cannot write %1: %2").arg(m_targetPath, zipErrorText(code)));
    // libzip builds the archive in a file of its own and renames it to this name when closing. Put
    // over an existing file, ext4 writes the new one out at once, and the run would wait for disk
    // writes of every staged archive, which is removed soon after anyway. The name (this run's
    // own) stays free until then.
    ::unlink(QFile::encodeName(file).constData());
    // Kept beyond the archive's own use, so that a failed write can name the file it could not
    // read.
    std::vector<std::pair<SourceHandle, qsizetype>> sources;
    sources.reserve(size_t(m_pending.size()));
    const QByteArray password = m_password.toUtf8();

    for (qsizetype at = 0; at < m_pending.size(); ++at) {
        const PendingEntry &pending = m_pending[at];
        const QString sourcePath = pending.sourcePath();
        const QByteArray sourceName = QFile::encodeName(sourcePath);
        const QByteArray name = pending.name.toUtf8();
        struct stat st {};
        if (pending.maker) {
            // Not made yet: it will be a fresh file of its owner's, as staged files are.
            st.st_mode = S_IFREG | S_IRUSR | S_IWUSR;
            st.st_size = off_t(pending.maker->sizeBound());
            st.st_mtime = ::time(nullptr);
        } else if (::stat(sourceName.constData(), &st) != 0) {
            return Result::failure(
                QStringLiteral("Cannot read %1: %2").arg(sourcePath, systemError(errno)));
        }
        zip_int64_t index = -1;
        if (pending.folder) {
            if (!S_ISDIR(st.st_mode))
                return Result::failure(QStringLiteral("%1 is no longer a folder.").arg(sourcePath));
            index = zip_dir_add(archive.get(), name.constData(), ZIP_FL_ENC_UTF_8);
            if (index >= 0 &&
                (zip_file_set_external_attributes(
                     archive.get(), zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                     (zip_uint32_t(st.st_mode & 0xffff) << 16) | dosFolderAttribute) != 0 ||
                 zip_file_set_mtime(archive.get(), zip_uint64_t(index), st.st_mtime, 0) != 0))
                index = -1;
        } else {
            if (!S_ISREG(st.st_mode))
                return Result::failure(QStringLiteral("%1 is not a regular file.").arg(sourcePath));
            zip_error_t error;
            zip_error_init(&error);
            FileEntry file{pending.root,
                           pending.name,
                           !isArchiveName(pending.name),
                           m_protect ? password : QByteArray(),
                           quint64(st.st_size),
                           st.st_mtime,
                           st.st_mode,
                           pending.maker};
            zip_source_t *source = createFileEntrySource(std::move(file), workspace, &error);
            if (!source) {
                const QString why = zipErrorText(&error);
                zip_error_fini(&error);
                return Result::failure(QStringLiteral("Cannot read %1: %2").arg(sourcePath, why));
            }
            zip_source_keep(source);
            sources.emplace_back(SourceHandle(source), at);
            index = zip_file_add(archive.get(), name.constData(), source, ZIP_FL_ENC_UTF_8);
            if (index < 0)
                zip_source_free(source); // not taken over by the archive
            else if (m_protect && zip_file_set_encryption(archive.get(), zip_uint64_t(index),
                                                          ZIP_EM_AES_256, nullptr) != 0)
                index = -1;
        }
        if (index < 0)
            return Result::failure(
                QStringLiteral("Cannot add %1 to %2: %3")
                    .arg(sourcePath, m_targetPath, archiveErrorText(archive.get())));
    }

    if (progress)
        zip_register_progress_callback_with_state(archive.get(), 0.01, reportProgress, nullptr,
                                                  const_cast<ProgressCallback *>(&progress));
    zip_register_cancel_callback_with_state(archive.get(), stopWhenAsked, nullptr, &m_stopWhen);
    if (zip_close(archive.get()) != 0) {
        if (interruptionRequested())
            return Result::failure(interruptionText());
        for (const PendingEntry &pending : std::as_const(m_pending))
            if (pending.maker && !pending.maker->failure().isEmpty())
                return Result::failure(
                    QStringLiteral("Cannot make %1 while writing %2: %3")
                        .arg(pending.sourcePath(), m_targetPath, pending.maker->failure()));
        for (const auto &[source, at] : sources) {
            zip_error_t *error = zip_source_error(source.get());
            if (zip_error_code_zip(error) != ZIP_ER_OK)
                return Result::failure(
                    QStringLiteral("Cannot read %1 while writing %2: %3")
                        .arg(m_pending[at].sourcePath(), m_targetPath, zipErrorText(error)));
        }
        return Result::failure(QStringLiteral("Cannot write %1: %2")
                                   .arg(m_targetPath, archiveErrorText(archive.get())));
    }
    (void)archive.release(); // zip_close has freed it
    return Result::success();
}

QString ZipArchive::PendingEntry::sourcePath() const
{
    return root + QLatin1Char('/') + (folder ? name.chopped(1) : name);
}

void ZipArchive::CloseArchive()
{
    if (m_zip)
        zip_discard(m_zip);
    m_zip = nullptr;
    m_openPath.clear();
    m_openPassword.clear();
    m_entryIndexes.clear();
    m_targetPath.clear();
    m_leftOut.clear();
    m_pending.clear();
    m_pendingNames.clear();
    ++m_generation;
}

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
    if (Result sizes = checkStoredSizes(archive.get(), quint64(QFileInfo(path).size())); !sizes) {
        m_openError = QStringLiteral("Cannot open the archive %1: %2").arg(path, sizes.message());
        return Result::failure(m_openError);
    }
    // Of two entries of one name, any reader would take one and pass over the other without a
    // word: such an archive is damaged.
    QHash<QString, quint64> indexes;
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

Expected<ZipEntry> ZipArchive::FindEntry(const QString &name)
{
    if (Result open = requireOpen(); !open)
        return open;
    const auto found = m_entryIndexes.constFind(name);
    if (found == m_entryIndexes.cend())
        return Result::failure(
            QStringLiteral("The archive %1 holds no entry named \"%2\".").arg(m_openPath, name));
    return ZipEntry(this, *found, name, m_generation);
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
    return extractArchive(m_zip, m_openPath, folder, m_openPassword, {});
}

Result ZipArchive::ExtractNested(const QString &name, const QString &folder,
                                 const QString &scratchFolder, const QString &unchangedFolder,
                                 const ReadIncrement &progress)
{
    if (Result open = requireOpen(); !open)
        return open;
    const auto found = m_entryIndexes.constFind(name);
    if (found == m_entryIndexes.cend())
        return Result::failure(
            QStringLiteral("The archive %1 holds no entry named \"%2\".").arg(m_openPath, name));
    const Expected<EntryInfo> info = readEntryInfo(m_zip, *found);
    if (!info)
        return info.result();
    const QString nestedPath = m_openPath + QLatin1Char('/') + name;
    // Nested archives carry no password of their own.
    if (readableInPlace(*info)) {
        const Expected<ArchiveHandle> nested = openNestedArchive(m_zip, *info, m_openPassword);
        if (!nested)
            return nested.result();
        if (Result sizes = checkStoredSizes(nested->get(), info->size); !sizes)
            return Result::failure(
                QStringLiteral("The nested archive \"%1\" %2").arg(name, sizes.message()));
        return extractArchive(nested->get(), nestedPath, folder, {}, progress, unchangedFolder);
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
    QString why;
    const ArchiveHandle nested = openForReading(copy.fileName(), &why);
    if (!nested)
        return Result::failure(
            QStringLiteral("The nested archive \"%1\" cannot be read: %2").arg(name, why));
    if (Result sizes = checkStoredSizes(nested.get(), info->size); !sizes)
        return Result::failure(
            QStringLiteral("The nested archive \"%1\" %2").arg(name, sizes.message()));
    return extractArchive(nested.get(), nestedPath, folder, {}, progress, unchangedFolder);
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
