#include "platform/zip/ziparchive.h"

#include "platform/filereplacement.h"
#include "platform/interruption.h"
#include "platform/runownedname.h"
#include "platform/treewalk.h"
#include "platform/zip/archivestream.h"
#include "platform/zip/archivetarget.h"
#include "platform/zip/entryinfo.h"
#include "platform/zip/entrymaker.h"
#include "platform/zip/entrynames.h"
#include "platform/zip/fileentrysource.h"
#include "platform/zip/filepacker.h"
#include "platform/zip/libziphandles.h"
#include "platform/zip/sequentialzipwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quillory {

using namespace zipdetail;

namespace {

const QLatin1String folderPattern("/*.*");

// libzip removes an archive left without entries rather than writing one; an empty archive is
// nothing but its end record.
QByteArray emptyArchive()
{
    QByteArray endRecord("PK\x05\x06", 4);
    endRecord.append(18, '\0');
    return endRecord;
}

Result writeEmptyArchive(FileReplacement &out)
{
    const QByteArray endRecord = emptyArchive();
    if (out.file().write(endRecord) != endRecord.size())
        return Result::failure(
            QStringLiteral("Cannot write %1: %2").arg(out.path(), out.file().errorString()));
    return Result::success();
}

// The written archive, read back as every reader starts: its end records, its directory and each
// entry's local header against it, then the directory of every archive made inside it. Only then
// may it replace the old one; a fault of the writer at a size no test thought of fails the run
// instead of leaving an archive nobody can open.
Result checkWritten(const QString &path, const QString &shownPath, quint64 entries,
                    const QString &password, const QStringList &nestedNames)
{
    const auto unreadable = [&shownPath](const QString &why) {
        return Result::failure(
            QStringLiteral("The written %1 cannot be read back: %2").arg(shownPath, why));
    };
    int code = 0;
    const ArchiveHandle archive(
        zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!archive)
        return unreadable(zipErrorText(code));
    if (const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
        count < 0 || quint64(count) != entries)
        return unreadable(
            QStringLiteral("it holds %1 entries instead of %2.").arg(count).arg(entries));
    if (nestedNames.isEmpty())
        return Result::success();
    ZipArchive written;
    written.SetPassword(password);
    if (Result opened = written.OpenArchive(path); !opened)
        return unreadable(opened.message());
    for (const QString &name : nestedNames)
        if (const auto nested = written.NestedEntries(name, QFileInfo(path).absolutePath());
            !nested)
            return unreadable(nested.message());
    return Result::success();
}

// Reads ahead the files whose entries are deflated whole, when there are several; the packer is
// stopped before the workspace goes.
void startPacker(const PendingEntries &pending, std::optional<FilePacker> &packer,
                 EntryWorkspace &workspace)
{
    qsizetype files = 0;
    for (qsizetype at = 0; at < pending.size() && files < 2; ++at)
        files += !pending[at].folder && !pending.maker(at) ? 1 : 0;
    if (files < 2)
        return;
    try {
        packer.emplace(size_t(pending.size()), [&pending](size_t index) {
            const qsizetype at = qsizetype(index);
            return pending[at].folder || pending.maker(at) || isArchiveName(pending.name(at))
                       ? QString()
                       : pending.sourcePath(at);
        });
    } catch (const std::system_error &) {
        // No thread to read ahead with: each file is read as its entry is written.
        return;
    }
    workspace.setPacker(&*packer);
}

// A stopped run must not wait for a large archive to be finished only to throw it away.
bool stopAsked(const std::function<bool()> &stopWhen)
{
    return interruptionRequested() || (stopWhen && stopWhen());
}

} // namespace

Result ZipArchive::CreateArchive(const QString &path)
{
    CloseArchive();
    if (path.isEmpty())
        return Result::failure(QStringLiteral("No archive name was given."));
    const QFileInfo target(path);
    // Said as it is: the system would answer such a path with "does not exist".
    if (const qsizetype bytes = QFile::encodeName(target.absoluteFilePath()).size();
        bytes >= PATH_MAX)
        return Result::failure(
            QStringLiteral("The path of the archive is too long: it has %1 bytes, and the system "
                           "takes at most %2.")
                .arg(bytes)
                .arg(PATH_MAX - 1));
    if (QFile::encodeName(target.fileName()).size() > NAME_MAX)
        return Result::failure(
            QStringLiteral("The name of the archive %1 is too long: the system takes at most %2 "
                           "bytes.")
                .arg(target.fileName())
                .arg(NAME_MAX));
    if (Result writable = checkArchiveTarget(path); !writable)
        return writable;
    if (!QFileInfo(target.absolutePath()).isDir())
        return Result::failure(QStringLiteral("The folder %1 for the archive does not exist.")
                                   .arg(target.absolutePath()));
    m_targetPath = target.absoluteFilePath();
    return Result::success();
}

void ZipArchive::CreateStream(const QString &name)
{
    CloseArchive();
    m_targetPath = name;
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

Expected<PendingEntries> ZipArchive::listFolder(const QString &folder, bool recurse,
                                                const QString &leftOut)
{
    const QString leftOutName = QFileInfo(leftOut).fileName();
    const QFileInfo root(folder);
    if (!root.isDir())
        return Result::failure(QStringLiteral("The folder %1 does not exist.").arg(folder));
    if (!root.isReadable() || !root.isExecutable())
        return Result::failure(QStringLiteral("The folder %1 cannot be read.").arg(folder));
    const QString rootPath = QDir(root.absoluteFilePath()).path();
    PendingEntries entries;
    const quint32 rootIndex = entries.addRoot(rootPath);
    const Result walked = walkTree(
        rootPath, recurse ? WalkOptions(WalkOption::Recurse) : WalkOptions(),
        [&](const WalkedEntry &found) {
            // A name no text can name again cannot be opened from here: the callers' walks tell
            // of it.
            if (found.undecodable)
                return Result::success();
            // The archive being written and the files made while writing one are no data to
            // keep; an archive kept in a folder it backs up would otherwise swallow its old self.
            if (!found.folder) {
                const QString fileName =
                    found.path.mid(found.path.lastIndexOf(QLatin1Char('/')) + 1);
                if (isRunOwnedTemporary(fileName) ||
                    (!leftOut.isEmpty() && fileName == leftOutName &&
                     fileIdentity(rootPath + QLatin1Char('/') + found.path) == leftOut))
                    return Result::success();
            }
            entries.add(rootIndex, found.folder ? found.path + QLatin1Char('/') : found.path,
                        found.folder, found.size, found.modified, found.mode);
            return Result::success();
        });
    if (!walked)
        return walked;
    entries.squeeze();
    return entries;
}

Result ZipArchive::AddFiles(const QString &path, bool recurse)
{
    if (m_targetPath.isEmpty())
        return Result::failure(
            QStringLiteral("No archive has been started to add %1 to.").arg(path));
    PendingEntries added;
    if (path.endsWith(folderPattern)) {
        Expected<PendingEntries> listed =
            listFolder(path.chopped(folderPattern.size()), recurse, m_leftOut);
        if (!listed)
            return listed.result();
        added = std::move(listed.value());
    } else {
        const QFileInfo file(path);
        if (!file.isFile())
            return Result::failure(file.exists() ? QStringLiteral("%1 is not a file.").arg(path)
                                                 : QStringLiteral("%1 does not exist.").arg(path));
        added.add(added.addRoot(file.absolutePath()), file.fileName(), false);
    }
    return addPending(std::move(added));
}

Result ZipArchive::AddMadeFile(const QString &name, std::shared_ptr<EntryMaker> maker)
{
    if (m_targetPath.isEmpty())
        return Result::failure(
            QStringLiteral("No archive has been started to add %1 to.").arg(name));
    PendingEntries added;
    added.addMade(name, std::move(maker));
    return addPending(std::move(added));
}

Result ZipArchive::addPending(PendingEntries added)
{
    if (const std::optional<qsizetype> shared = m_pending.sharedEntry(added))
        return Result::failure(
            QStringLiteral("%1 is not added: the archive already has an entry named \"%2\".")
                .arg(added.sourcePath(*shared), added.name(*shared)));
    m_pending.append(std::move(added));
    return Result::success();
}

Result ZipArchive::readyToWrite() const
{
    if (m_targetPath.isEmpty())
        return Result::failure(QStringLiteral("No archive has been started, so none is written."));
    if (m_protect && m_password.isEmpty())
        return Result::failure(
            QStringLiteral("%1 is to be protected, but no password was set.").arg(m_targetPath));
    if (interruptionRequested())
        return Result::failure(interruptionText());
    return Result::success();
}

Result ZipArchive::WriteArchive(const ProgressCallback &progress)
{
    if (Result ready = readyToWrite(); !ready)
        return ready;
    // Looked at again: the target may have changed since the archive was started.
    if (Result writable = checkArchiveTarget(m_targetPath); !writable)
        return writable;
    removeStaleReplacements(m_targetPath);
    FileReplacement replacement(m_targetPath);
    replacement.keepPreviousAs(m_keepPreviousAs);
    if (Result opened = replacement.open(); !opened)
        return opened;
    Result written = m_pending.isEmpty() ? writeEmptyArchive(replacement)
                                         : writeEntries(replacement.path(), progress);
    if (written && interruptionRequested())
        written = Result::failure(interruptionText());
    if (written && !m_pending.isEmpty()) {
        QStringList nestedNames;
        const auto &makers = m_pending.makers();
        for (auto maker = makers.cbegin(); maker != makers.cend(); ++maker)
            if (isArchiveName(m_pending.name(maker.key())))
                nestedNames.append(m_pending.name(maker.key()));
        written = checkWritten(replacement.path(), m_targetPath, quint64(m_pending.size()),
                               m_password, nestedNames);
    }
    if (!written)
        return written;
    return replacement.commit(m_durable ? Durability::Synced : Durability::Unsynced);
}

Result ZipArchive::WriteStream(ArchiveStream &stream, const ProgressCallback &progress)
{
    if (Result ready = readyToWrite(); !ready)
        return ready;
    if (m_pending.isEmpty())
        return stream.writeRaw(emptyArchive())
                   ? Result::success()
                   : Result::failure(QStringLiteral("Cannot write %1.").arg(m_targetPath));
    zip_error_t error;
    zip_error_init(&error);
    const SourceHandle target(stream.source(&error));
    const QString why = zipErrorText(&error);
    zip_error_fini(&error);
    if (!target)
        return Result::failure(QStringLiteral("Cannot write %1: %2").arg(m_targetPath, why));
    return writeEntries(target.get(), progress);
}

Expected<struct stat> ZipArchive::pendingStat(qsizetype at) const
{
    const PendingEntries::Entry &pending = m_pending[at];
    struct stat st {};
    if (const std::shared_ptr<EntryMaker> maker = m_pending.maker(at)) {
        // Not made yet: it will be a fresh file of its owner's, as staged files are.
        st.st_mode = S_IFREG | S_IRUSR | S_IWUSR;
        st.st_size = off_t(maker->sizeBound());
        st.st_mtime = ::time(nullptr);
        return st;
    }
    const QString sourcePath = m_pending.sourcePath(at);
    if (pending.mode != 0) {
        // As the folder's listing found it, a moment ago.
        st.st_mode = pending.mode;
        st.st_size = off_t(pending.size);
        st.st_mtime = pending.modified;
    } else if (::stat(QFile::encodeName(sourcePath).constData(), &st) != 0) {
        return Result::failure(
            QStringLiteral("Cannot read %1: %2").arg(sourcePath, systemError(errno)));
    }
    if (pending.folder && !S_ISDIR(st.st_mode))
        return Result::failure(QStringLiteral("%1 is no longer a folder.").arg(sourcePath));
    if (!pending.folder && !S_ISREG(st.st_mode))
        return Result::failure(QStringLiteral("%1 is not a regular file.").arg(sourcePath));
    return st;
}

zip_source_t *ZipArchive::pendingSource(qsizetype at, const struct stat &st,
                                        EntryWorkspace &workspace, QString *why) const
{
    const QString name = m_pending.name(at);
    zip_error_t error;
    zip_error_init(&error);
    FileEntry file{m_pending.root(at),
                   name,
                   !isArchiveName(name),
                   m_protect ? m_password.toUtf8() : QByteArray(),
                   quint64(st.st_size),
                   st.st_mtime,
                   st.st_mode,
                   m_pending.maker(at),
                   size_t(at)};
    zip_source_t *source = createFileEntrySource(std::move(file), workspace, &error);
    if (!source)
        *why = zipErrorText(&error);
    zip_error_fini(&error);
    return source;
}

Result ZipArchive::writeFailure(Result failed) const
{
    if (interruptionRequested())
        return Result::failure(interruptionText());
    const auto &makers = m_pending.makers();
    for (auto maker = makers.cbegin(); maker != makers.cend(); ++maker)
        if (!maker.value()->failure().isEmpty())
            return Result::failure(QStringLiteral("Cannot make %1 while writing %2: %3")
                                       .arg(m_pending.sourcePath(maker.key()), m_targetPath,
                                            maker.value()->failure()));
    return failed;
}

Result ZipArchive::writeEntries(const QString &file, const ProgressCallback &progress)
{
    zip_error_t error;
    zip_error_init(&error);
    // Like libzip's own archives, the file source writes a file of its own beside `file` and
    // renames it to that name when committed. Put over an existing file, ext4 writes the new one
    // out at once; the name (this run's own) stays free until then.
    ::unlink(QFile::encodeName(file).constData());
    const SourceHandle target(
        zip_source_file_create(QFile::encodeName(file).constData(), 0, -1, &error));
    const QString why = zipErrorText(&error);
    zip_error_fini(&error);
    if (!target)
        return Result::failure(QStringLiteral("Cannot write %1: %2").arg(m_targetPath, why));
    return writeEntries(target.get(), progress);
}

// Both the backup archive and the account archives inside it are written by the one writer,
// so that every size and place at the zip64 boundaries is written by one set of rules.
Result ZipArchive::writeEntries(zip_source_t *target, const ProgressCallback &progress)
{
    // Outlives the sources, which use it.
    EntryWorkspace workspace;
    std::optional<FilePacker> packer;
    startPacker(m_pending, packer, workspace);
    int reported = -1;
    SequentialZipWriter writer(
        target, m_targetPath, quint64(m_pending.size()),
        [this](quint64 index) { return m_pending.nameBytes(qsizetype(index)); },
        [this] { return stopAsked(m_stopWhen); },
        [&progress, &reported](double done) {
            const int percent = qRound(done * 100);
            if (progress && percent != reported)
                progress(reported = percent);
        });
    if (Result begun = writer.begin(); !begun)
        return begun;
    for (qsizetype at = 0; at < m_pending.size(); ++at) {
        const Expected<struct stat> st = pendingStat(at);
        if (!st)
            return st.result();
        Result written = Result::success();
        if (m_pending[at].folder) {
            written = writer.addFolder(st->st_mode, st->st_mtime);
        } else {
            QString cause;
            const SourceHandle source(pendingSource(at, *st, workspace, &cause));
            if (!source)
                return Result::failure(
                    QStringLiteral("Cannot read %1: %2").arg(m_pending.sourcePath(at), cause));
            written = writer.addFile(source.get(), m_pending.sourcePath(at));
        }
        if (!written)
            return writeFailure(written);
    }
    return writer.finish();
}

} // namespace quillory
