#include "platform/disc/burndiscwriter.h"

#include "platform/disc/burnheaders.h"
#include "platform/disc/discverify.h"
#include "platform/disc/isowriting.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace quillory {

namespace {

// A DVD written with high compatibility carries at least this much, padding included, so that
// old players find their way on the disc.
constexpr qint64 highCompatibilityBlocks = 1024LL * 1024 * 1024 / 2048;

} // namespace

bool BurnDiscWriter::sourcesChanged(const QList<SourceFile> &files)
{
    // One stat and one access per file: for a large compilation this look is a noticeable part
    // of the whole save.
    bool changed = false;
    for (const SourceFile &file : files) {
        const QByteArray path = QFile::encodeName(file.sourcePath);
        struct stat now {};
        if (::stat(path.constData(), &now) != 0 || !S_ISREG(now.st_mode) ||
            ::access(path.constData(), R_OK) != 0) {
            post([this, name = file.sourcePath] { Q_EMIT FileError(FileOpenError, name); });
            changed = true;
        } else if (now.st_size != file.size || now.st_mtime != file.modified) {
            post([this, name = file.sourcePath] { Q_EMIT FileError(FileReadError, name); });
            changed = true;
        }
    }
    return changed;
}

bool BurnDiscWriter::StartWrite()
{
    if (!ready(QStringLiteral("Writing")))
        return false;
    const MediaFacts medium = facts();
    if (!medium.writable)
        return refuse(QStringLiteral("The medium cannot be written: it is closed, or it holds "
                                     "data that is not an ISO 9660 image. Erase it first."));
    if (m_compilation.fileCount() == 0 && m_compilation.directoryCount() == 0)
        return refuse(QStringLiteral("The compilation is empty."));
    if (selected()->imageFile) {
        if (const std::optional<QString> own = holdsFile(selected()->path))
            return refuse(*own);
    }
    if (medium.discStatus == DiscEmpty) {
        const qint64 blocks = ImageBlocks();
        if (blocks > medium.freeBlocks)
            return refuse(QStringLiteral("The image needs %1 but the medium has only %2 free.")
                              .arg(megabytes(blocks), megabytes(medium.freeBlocks)));
    }
    return startJob([this] { writeSession(); });
}

void BurnDiscWriter::writeSession()
{
    post([this] { Q_EMIT WritePreparing(); });
    const QList<SourceFile> files = m_compilation.sourceFiles();
    const QList<SourceFile> imported = m_compilation.importedFiles();
    if (sourcesChanged(files)) {
        finish([this] {
            Q_EMIT WriteError(ErrorSourceFile, 0,
                              QStringLiteral("Source files changed or vanished after they were "
                                             "added; nothing was written."),
                              QString());
        });
        return;
    }
    IsoImage *image = m_compilation.image();
    iso_image_set_volume_id(image, VolumeLabel().toUtf8().constData());
    IsoImage *attached = isoburn_get_attached_image(m_drive);
    if (!attached && facts().discStatus == DiscOpen) {
        // Growing starts from the medium's newest session, even when its tree is replaced.
        isoburn_read_opts *readOptions = nullptr;
        isoburn_ropt_new(&readOptions, 0);
        isoburn_ropt_set_extensions(readOptions, isoburn_ropt_noacl | isoburn_ropt_noea);
        isoburn_read_image(m_drive, readOptions, nullptr);
        isoburn_ropt_destroy(&readOptions, 0);
        attached = isoburn_get_attached_image(m_drive);
    }
    if (attached != image) {
        iso_image_ref(image);
        isoburn_attach_image(m_drive, image);
    }
    if (attached)
        iso_image_unref(attached);

    const MediaFacts medium = facts();
    isoburn_imgen_opts *sessionOptions = newSessionOptions(JolietNames() == 1);
    if (DvdHighCompatibility() && medium.writeOnceDvd) {
        const qint64 blocks = ImageBlocks();
        if (blocks < highCompatibilityBlocks)
            isoburn_igopt_set_tail_blocks(sessionOptions,
                                          uint32_t(highCompatibilityBlocks - blocks));
    }
    burn_disc *disc = nullptr;
    const bool prepared = isoburn_prepare_disc(m_drive, &disc, sessionOptions) > 0 && disc;
    isoburn_igopt_destroy(&sessionOptions, 0);
    if (!prepared) {
        reportFailure({false, false, BurnLibrary::takeMessages("SORRY")},
                      QStringLiteral("The image could not be prepared."));
        return;
    }
    qint64 sectors = 0;
    int sessionCount = 0;
    burn_session **sessions = burn_disc_get_sessions(disc, &sessionCount);
    for (int s = 0; s < sessionCount; ++s) {
        int trackCount = 0;
        burn_track **tracks = burn_session_get_tracks(sessions[s], &trackCount);
        for (int t = 0; t < trackCount; ++t)
            sectors += burn_track_get_sectors(tracks[t]);
    }
    bool simulated = false;
    burn_write_opts *options = newWriteOptions(!FinalizeDisc(), &simulated);
    const qint64 free = isoburn_disc_available_space(m_drive, options) / 2048;
    if (sectors > free || m_cancel) {
        isoburn_cancel_prepared_write(m_drive, nullptr, 0);
        burn_write_opts_free(options);
        burn_disc_free(disc);
        if (m_cancel)
            finish([this] { Q_EMIT WriteCancelled(); });
        else
            finish([this, sectors, free] {
                Q_EMIT WriteError(ErrorRefused, 0,
                                  QStringLiteral("The image needs %1 but the medium has only %2 "
                                                 "free; nothing was written.")
                                      .arg(megabytes(sectors), megabytes(free)),
                                  QString());
            });
        return;
    }
    const ImageFileState before = imageFileState();
    post([this] { Q_EMIT CreatingDirectories(); });
    isoburn_disc_write(options, disc);
    const BurnOutcome outcome = runBurn(FinalizeDisc());
    burn_write_opts_free(options);
    if (outcome.cancelled || !outcome.wroteWell)
        isoburn_cancel_prepared_write(m_drive, nullptr, 0);
    burn_disc_free(disc);

    if (outcome.cancelled) {
        restoreImageFile(before);
        reassess();
        finish([this] { Q_EMIT WriteCancelled(); });
        return;
    }
    if (!outcome.wroteWell) {
        restoreImageFile(before);
        reassess();
        reportFailure(outcome, QStringLiteral("The write failed."));
        return;
    }
    // A source that changed while it was read may have left wrong data: such a session is
    // never made the disc's newest.
    if (sourcesChanged(files)) {
        restoreImageFile(before);
        reassess();
        finish([this] {
            Q_EMIT WriteError(ErrorSourceFile, 0,
                              QStringLiteral("Source files changed or vanished while they were "
                                             "written; the new session is not valid."),
                              QString());
        });
        return;
    }
    if (simulated) {
        restoreImageFile(before);
    } else {
        isoburn_activate_session(m_drive);
        isoburn_sync_after_write(m_drive, nullptr, 0);
    }
    reassess();
    post([this, sectors] { Q_EMIT WriteProgress(0, sectors, sectors); });
    if (AutoVerify() && !simulated) {
        post([this] { Q_EMIT WriteCompleted(); });
        verify(files + imported);
    } else {
        finish([this] { Q_EMIT WriteCompleted(); });
    }
}

void BurnDiscWriter::verify(const QList<SourceFile> &files)
{
    const int total = int(files.size());
    post([this, total] { Q_EMIT VerifyStarted(total); });
    const int matched = verifyAgainstSources(
        m_drive, files, [this, total](const SourceFile &file, int status, int done) {
            post([this, file, status, done, total] {
                Q_EMIT VerifyProgress(file.key, file.sourcePath, 0, 0, status, done, total);
            });
        });
    BurnLibrary::takeMessages();
    finish([this, total, matched] { Q_EMIT VerifyCompleted(total, matched); });
}

} // namespace quillory
