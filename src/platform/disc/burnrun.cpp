#include "platform/disc/burndiscwriter.h"

#include "platform/disc/burnheaders.h"
#include "platform/disc/drivesense.h"

#include <QFileInfo>

#include <chrono>

namespace quillory {

namespace {

using namespace std::chrono_literals;

constexpr qint64 systemAreaBytes = 32 * 2048;

// libburn's write thread frees the drive for the next operation only when it ends, which comes
// after the drive has gone idle (half a second later after a cancel); a write started before
// that is refused as "still going on". The thread's last message says it ended.
constexpr int writeThreadEndedCode = 0x00020178;
constexpr auto writeThreadPatience = 10s;

int severityRank(const QString &name)
{
    QByteArray text = name.toLatin1();
    int rank = 0;
    burn_text_to_sev(text.data(), &rank, 0);
    return rank;
}

// The messages of at least SORRY that the write thread sends until it has ended: those that come
// after the drive went idle belong to the run too.
QList<BurnMessage> problemsUntilWriteThreadEnded()
{
    const int problem = severityRank(QStringLiteral("SORRY"));
    const auto deadline = std::chrono::steady_clock::now() + writeThreadPatience;
    QList<BurnMessage> problems;
    bool ended = false;
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        for (const BurnMessage &message : BurnLibrary::takeMessages()) {
            ended = ended || message.code == writeThreadEndedCode;
            if (severityRank(message.severity) >= problem)
                problems.append(message);
        }
        if (!ended)
            std::this_thread::sleep_for(10ms);
    }
    return problems;
}

} // namespace

burn_write_opts *BurnDiscWriter::newWriteOptions(bool allowMulti, bool *simulated) const
{
    const DiscDrive *drive = selected();
    burn_write_opts *options = burn_write_opts_new(m_drive);
    burn_multi_caps *caps = nullptr;
    bool multi = false;
    bool simulate = false;
    if (burn_disc_get_multi_caps(m_drive, BURN_WRITE_NONE, &caps, 0) > 0 && caps) {
        // Asking for multi-session where the medium has none makes libburn refuse to write.
        multi = allowMulti && caps->multi_session == 1;
        simulate = TestWrite() && caps->might_simulate;
    }
    burn_disc_free_multi_caps(&caps);
    if (simulated)
        *simulated = simulate;
    burn_write_opts_set_multi(options, multi ? 1 : 0);
    burn_write_opts_set_simulate(options, simulate ? 1 : 0);
    burn_write_opts_set_underrun_proof(options, BufferProtection() ? 1 : 0);
    if (facts().cdMedia)
        burn_write_opts_set_format(options, TrackMode() == 2 ? BURN_CDXA : BURN_CDROM);
    if (drive && !drive->imageFile && !FixedWriteOption())
        burn_write_opts_set_write_type(options, BURN_WRITE_TAO, BURN_BLOCK_MODE1);
    burn_drive_set_speed(m_drive, 0, m_writeSpeed);
    return options;
}

BurnDiscWriter::BurnOutcome BurnDiscWriter::runBurn(bool finalize)
{
    BurnOutcome outcome;
    while (burn_drive_get_status(m_drive, nullptr) == BURN_DRIVE_SPAWNING)
        std::this_thread::sleep_for(10ms);
    burn_drive_status last = BURN_DRIVE_IDLE;
    burn_drive_status status;
    burn_progress progress{};
    while ((status = burn_drive_get_status(m_drive, &progress)) != BURN_DRIVE_IDLE) {
        if (m_cancel && !outcome.cancelled) {
            burn_drive_cancel(m_drive);
            outcome.cancelled = true;
        }
        if (status != last && status == BURN_DRIVE_CLOSING_TRACK)
            post([this] { Q_EMIT ClosingTrack(); });
        if (status != last && status == BURN_DRIVE_CLOSING_SESSION) {
            if (finalize)
                post([this] { Q_EMIT ClosingDisc(); });
            else
                post([this] { Q_EMIT ClosingSession(); });
        }
        if (status == BURN_DRIVE_WRITING)
            post([this, done = qint64(progress.sector), total = qint64(progress.sectors)] {
                Q_EMIT WriteProgress(0, done, total);
            });
        last = status;
        std::this_thread::sleep_for(pollInterval);
    }
    outcome.cancelled = outcome.cancelled || m_cancel;
    outcome.wroteWell = burn_drive_wrote_well(m_drive) == 1;
    outcome.messages = problemsUntilWriteThreadEnded();
    // libburn refuses some writes with a message alone and still calls them written well.
    for (const BurnMessage &message : outcome.messages) {
        if (message.severity != QLatin1String("MISHAP") || !outcome.cancelled)
            outcome.wroteWell = false;
    }
    return outcome;
}

void BurnDiscWriter::reportFailure(const BurnOutcome &outcome, const QString &what)
{
    QString description = what;
    for (const BurnMessage &message : outcome.messages) {
        if (const std::optional<DriveSense> sense = senseInMessage(message.text)) {
            finish([this, text = message.text, sense = *sense] {
                Q_EMIT WriteError(ErrorDrive, driveCodeForSense(sense), text, sense.text());
            });
            return;
        }
        description += QLatin1Char(' ') + message.text;
    }
    finish([this, description] { Q_EMIT WriteError(ErrorRefused, 0, description, QString()); });
}

BurnDiscWriter::ImageFileState BurnDiscWriter::imageFileState() const
{
    const QFileInfo file(selected()->path);
    return {file.size(), facts().discStatus == DiscEmpty};
}

void BurnDiscWriter::restoreImageFile(const ImageFileState &state)
{
    const DiscDrive *drive = selected();
    if (!drive->imageFile)
        return;
    // The head at the file's start is what makes sessions count; without a new one the file
    // reads as before, and the partly written data behind it goes.
    QFile::resize(drive->path, state.blank ? qMin(state.size, systemAreaBytes) : state.size);
}

} // namespace quillory
