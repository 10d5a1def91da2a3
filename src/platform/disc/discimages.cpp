#include "platform/disc/burndiscwriter.h"

#include "platform/disc/burnheaders.h"
#include "platform/disc/isowriting.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace quillory {

bool BurnDiscWriter::WriteImageFile(const QString &path)
{
    if (!ready(QStringLiteral("Writing")))
        return false;
    const QFileInfo image(path);
    if (!image.isFile() || !image.isReadable() || image.size() == 0)
        return refuse(QStringLiteral("%1 is not a readable image file.").arg(path));
    if (selected()->imageFile &&
        image.canonicalFilePath() == QFileInfo(selected()->path).canonicalFilePath())
        return refuse(QStringLiteral("%1 is the drive's own image file.").arg(path));
    const MediaFacts medium = facts();
    // An image file standing in for a drive is a disc like any other: its sessions go only with
    // an erase the user asked for, never under an image written over them.
    if (medium.discStatus != DiscEmpty)
        return refuse(QStringLiteral("An image needs a blank medium: erase the disc first."));
    const qint64 blocks = (image.size() + 2047) / 2048;
    // An image file is written over from its start, whatever it held.
    const qint64 free =
        selected()->imageFile
            ? (QStorageInfo(QFileInfo(selected()->path).absolutePath()).bytesAvailable() +
               QFileInfo(selected()->path).size()) /
                  2048
            : medium.freeBlocks;
    if (blocks > free)
        return refuse(QStringLiteral("The image needs %1 but the medium has only %2 free.")
                          .arg(megabytes(blocks), megabytes(free)));
    return startJob([this, path] { writeImage(path); });
}

void BurnDiscWriter::writeImage(const QString &path)
{
    post([this] { Q_EMIT WritePreparing(); });
    burn::burn_source *source = burn_file_source_new(QFile::encodeName(path).constData(), nullptr);
    if (!source) {
        post([this, path] { Q_EMIT FileError(FileOpenError, path); });
        reportFailure({}, QStringLiteral("%1 cannot be read.").arg(path));
        return;
    }
    const bool cd = facts().cdMedia;
    burn_track *track = burn_track_create();
    // Readers stumble over the run-out blocks of a CD track without padding behind the image.
    burn_track_define_data(track, 0, cd ? 300 * 1024 : 0, 1,
                           cd && TrackMode() == 2 ? BURN_MODE2 | BURN_FORM2 : BURN_MODE1);
    burn_track_set_source(track, source);
    burn_session *session = burn_session_create();
    burn_session_add_track(session, track, BURN_POS_END);
    burn_disc *disc = burn_disc_create();
    burn_disc_add_session(disc, session, BURN_POS_END);
    burn_write_opts *options = newWriteOptions(!FinalizeDisc(), nullptr);
    char reasons[BURN_REASONS_LEN] = {};
    const ImageFileState before = imageFileState();
    const bool imageFile = selected()->imageFile;
    if (imageFile)
        QFile::resize(selected()->path, 0);
    burn_write_opts_set_start_byte(options, 0);
    if (burn_write_opts_auto_write_type(options, disc, reasons, 0) == BURN_WRITE_NONE) {
        reportFailure({}, QString::fromLatin1(reasons));
    } else {
        post([this] { Q_EMIT CreatingDirectories(); });
        burn_disc_write(options, disc);
        const BurnOutcome outcome = runBurn(FinalizeDisc());
        if (outcome.cancelled || !outcome.wroteWell) {
            // An image file that was overwritten in part holds nothing usable any more.
            if (imageFile)
                QFile::resize(selected()->path, 0);
            else
                restoreImageFile(before);
            reassess();
            if (outcome.cancelled)
                finish([this] { Q_EMIT WriteCancelled(); });
            else
                reportFailure(outcome, QStringLiteral("The write failed."));
        } else {
            reassess();
            post([this, blocks = qint64(burn_track_get_sectors(track))] {
                Q_EMIT WriteProgress(0, blocks, blocks);
            });
            finish([this] { Q_EMIT WriteCompleted(); });
        }
    }
    burn_write_opts_free(options);
    burn_disc_free(disc);
    burn_session_free(session);
    burn_track_free(track);
    burn_source_free(source);
}

bool BurnDiscWriter::SaveImageToFile(const QString &path)
{
    m_lastError.clear();
    if (!settled())
        return refuse(QStringLiteral("Another disc operation is still running."));
    if (m_compilation.hasImported() && !m_importReadable)
        return refuse(QStringLiteral("The files imported from the disc cannot be read from it any "
                                     "more: import the previous session again."));
    if (const std::optional<QString> own = holdsFile(path))
        return refuse(*own);
    iso_image_set_volume_id(m_compilation.image(), VolumeLabel().toUtf8().constData());
    const bool joliet = JolietNames() == 1;
    const QList<SourceFile> files = m_compilation.sourceFiles();
    bool saved = false;
    QString failure;
    QEventLoop loop;
    const bool started = startJob([&] {
        // One look at the sources once the image is made catches every change since they were
        // added, before the image can replace anything; a generator that stopped on a vanished
        // file gets the same look, to name it.
        bool looked = false;
        const auto look = [&] {
            looked = true;
            return sourcesChanged(files)
                       ? Result::failure(QStringLiteral(
                             "Source files changed or vanished after they were added."))
                       : Result::success();
        };
        Result result = saveStandaloneImage(
            m_compilation.image(), joliet, path,
            [this](qint64 done, qint64 total) {
                post([this, done, total] { Q_EMIT WriteProgress(0, done, total); });
            },
            m_cancel, look);
        BurnLibrary::takeMessages();
        if (!result && !m_cancel && !looked) {
            if (const Result changed = look(); !changed)
                result = changed;
        }
        if (!result) {
            failure = result.message();
            if (m_cancel)
                post([this] { Q_EMIT WriteCancelled(); });
        } else {
            saved = true;
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (!started)
        return false;
    loop.exec();
    m_worker.join();
    m_lastError = failure;
    return saved;
}

} // namespace quillory
