#include "platform/disc/burndiscwriter.h"

#include "platform/disc/burnheaders.h"

#include <QFile>

namespace quillory {

bool BurnDiscWriter::EraseDisc(bool quick)
{
    if (!ready(QStringLiteral("Erasing")))
        return false;
    const bool imageFile = selected()->imageFile;
    if (!imageFile && !burn_disc_erasable(m_drive))
        return refuse(QStringLiteral("The medium cannot be erased."));
    forgetImported();
    return startJob([this, quick, imageFile] {
        post([this] { Q_EMIT EraseStarted(); });
        if (imageFile && !quick) {
            // Erasing all of an image file's data is leaving no data at all.
            QFile::resize(selected()->path, 0);
        } else {
            isoburn_disc_erase(m_drive, quick ? 1 : 0);
            while (burn_drive_get_status(m_drive, nullptr) != BURN_DRIVE_IDLE)
                std::this_thread::sleep_for(pollInterval);
        }
        const QList<BurnMessage> messages = BurnLibrary::takeMessages("SORRY");
        reassess();
        if (facts().discStatus == DiscEmpty)
            finish([this] { Q_EMIT EraseCompleted(); });
        else
            reportFailure({false, false, messages}, QStringLiteral("The medium was not erased."));
    });
}

bool BurnDiscWriter::CloseMedia(bool finalize)
{
    if (!ready(QStringLiteral("Closing")))
        return false;
    if (selected()->imageFile)
        return refuse(QStringLiteral("An image file has no session to close: it stays "
                                     "appendable."));
    return startJob([this, finalize] {
        if (finalize)
            post([this] { Q_EMIT ClosingDisc(); });
        else
            post([this] { Q_EMIT ClosingSession(); });
        burn_write_opts *options = burn_write_opts_new(m_drive);
        burn_write_opts_set_write_type(options, BURN_WRITE_TAO, BURN_BLOCK_MODE1);
        burn_write_opts_set_multi(options, finalize ? 0 : 1);
        burn_write_opts_set_simulate(options, 0);
        const bool closed = burn_disc_close_damaged(options, 1) > 0;
        burn_write_opts_free(options);
        const QList<BurnMessage> messages = BurnLibrary::takeMessages("SORRY");
        reassess();
        if (closed)
            finish([this] { Q_EMIT WriteCompleted(); });
        else
            reportFailure({false, false, messages}, QStringLiteral("The medium was not closed."));
    });
}

} // namespace quillory
