#include "platform/disc/burndiscwriter.h"

#include "platform/disc/burnheaders.h"
#include "platform/disc/discverify.h"
#include "platform/disc/drivesense.h"
#include "platform/disc/imagefiledrives.h"
#include "platform/disc/isowriting.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStorageInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

namespace quillory {

namespace {

using namespace std::chrono_literals;

constexpr auto pollInterval = 50ms;
constexpr qint64 systemAreaBytes = 32 * 2048;
// A DVD written with high compatibility carries at least this much, padding included, so that
// old players find their way on the disc.
constexpr qint64 highCompatibilityBlocks = 1024LL * 1024 * 1024 / 2048;

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

QString megabytes(qint64 blocks)
{
    return QString::number(double(blocks) * 2048 / 1048576.0, 'f', 2) + QLatin1String(" MB");
}

QSet<int> capabilitiesOfProfiles(burn_drive *drive, const burn_drive_info &info)
{
    QSet<int> supports;
    int count = 0;
    int profiles[64] = {};
    char current[64] = {};
    if (burn_drive_get_all_profiles(drive, &count, profiles, current) > 0) {
        for (int i = 0; i < count; ++i) {
            switch (profiles[i]) {
            case 0x0a:
                supports.insert(DiscWriter::SupportsCdRw);
                break;
            case 0x12:
                supports.insert(DiscWriter::SupportsDvdRam);
                break;
            case 0x13:
            case 0x14:
                supports.insert(DiscWriter::SupportsDvdRw);
                break;
            case 0x1a:
                supports.insert(DiscWriter::SupportsDvdPlusRw);
                break;
            default:
                break;
            }
        }
    }
    if (info.write_cdrw)
        supports.insert(DiscWriter::SupportsCdRw);
    if (info.write_dvdram)
        supports.insert(DiscWriter::SupportsDvdRam);
    return supports;
}

bool writesSomething(const burn_drive_info &info, const QSet<int> &supports, burn_drive *drive)
{
    if (info.write_cdr || info.write_cdrw || info.write_dvdr || info.write_dvdram ||
        !supports.isEmpty())
        return true;
    int count = 0;
    int profiles[64] = {};
    char current[64] = {};
    if (burn_drive_get_all_profiles(drive, &count, profiles, current) > 0) {
        for (int i = 0; i < count; ++i) {
            if (profiles[i] == 0x11 || profiles[i] == 0x15 || profiles[i] == 0x16 ||
                profiles[i] == 0x1b || profiles[i] == 0x2b ||
                (profiles[i] >= 0x41 && profiles[i] <= 0x43))
                return true;
        }
    }
    return false;
}

} // namespace

BurnDiscWriter::BurnDiscWriter(QObject *parent) : DiscWriter(parent) {}

BurnDiscWriter::~BurnDiscWriter()
{
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
    release(false);
}

MediaFacts BurnDiscWriter::facts() const
{
    const QMutexLocker lock(&m_factsLock);
    return m_facts;
}

bool BurnDiscWriter::settled()
{
    if (m_busy)
        return false;
    // The worker may still be tidying up after its last event.
    if (m_worker.joinable())
        m_worker.join();
    return true;
}

bool BurnDiscWriter::refuse(const QString &reason)
{
    m_lastError = reason;
    return false;
}

bool BurnDiscWriter::ready(const QString &operation)
{
    m_lastError.clear();
    if (m_busy)
        return refuse(
            QStringLiteral("%1: another disc operation is still running.").arg(operation));
    if (!m_drive)
        return refuse(QStringLiteral("%1: no drive is selected.").arg(operation));
    return true;
}

const BurnDiscWriter::Drive *BurnDiscWriter::selected() const
{
    return m_selected >= 0 && m_selected < m_drives.size() ? &m_drives[m_selected] : nullptr;
}

bool BurnDiscWriter::InitializeDrives(bool)
{
    m_lastError.clear();
    if (!settled())
        return refuse(QStringLiteral("The drives cannot be scanned while a disc operation runs."));
    // libburn refuses to scan while any drive is acquired.
    release(false);
    m_selected = -1;
    m_imageLock = ImageFileLock();
    m_drives.clear();
    if (!m_library.ok())
        return refuse(QStringLiteral("The disc-writing libraries could not be started."));
    burn_drive_info *infos = nullptr;
    unsigned int count = 0;
    // The scan runs on a thread of libburn's, which fills `infos` and `count` when it is done.
    int scanned = 0;
    while ((scanned = burn_drive_scan(&infos, &count)) == 0)
        std::this_thread::sleep_for(10ms);
    if (scanned > 0) {
        for (unsigned int i = 0; i < count; ++i) {
            char address[BURN_DRIVE_ADR_LEN] = {};
            burn_drive_d_get_adr(infos[i].drive, address);
            Drive drive;
            drive.address = QString::fromLocal8Bit(address);
            drive.path = drive.address;
            drive.vendor = QString::fromLatin1(infos[i].vendor).trimmed();
            drive.product = QString::fromLatin1(infos[i].product).trimmed();
            drive.supports = capabilitiesOfProfiles(infos[i].drive, infos[i]);
            drive.writer = writesSomething(infos[i], drive.supports, infos[i].drive);
            m_drives.append(drive);
            burn_drive_info_forget(&infos[i], 0);
        }
        burn_drive_info_free(infos);
    }
    for (const QString &path : imageFileDrives()) {
        Drive drive;
        drive.address = QLatin1String("stdio:") + path;
        drive.path = path;
        drive.vendor = QStringLiteral("Image");
        drive.product = QStringLiteral("File");
        drive.writer = true;
        drive.imageFile = true;
        drive.supports = {SupportsDvdPlusRw};
        m_drives.append(drive);
    }
    BurnLibrary::takeMessages();
    return true;
}

bool BurnDiscWriter::DeviceIsWriter(int index) const
{
    return index >= 0 && index < m_drives.size() && m_drives[index].writer;
}

QString BurnDiscWriter::DeviceDrive(int index) const
{
    return index >= 0 && index < m_drives.size() ? m_drives[index].path : QString();
}

QString BurnDiscWriter::DeviceVendor(int index) const
{
    return index >= 0 && index < m_drives.size() ? m_drives[index].vendor : QString();
}

QString BurnDiscWriter::DeviceProduct(int index) const
{
    return index >= 0 && index < m_drives.size() ? m_drives[index].product : QString();
}

bool BurnDiscWriter::SelectDevice(int index)
{
    m_lastError.clear();
    if (!settled())
        return refuse(QStringLiteral("The drive cannot change while a disc operation runs."));
    // A drive held with a medium in it keeps that medium (its tray is locked, its image file
    // too): its facts are read again where it stands, and files imported from it stay readable.
    if (index == m_selected && m_drive && facts().mediaType != MediaNone) {
        MediaFacts read = readMediaFacts(m_drive, m_drives[index].imageFile);
        read.bufferProtection = read.bufferProtection || m_drives[index].imageFile;
        BurnLibrary::takeMessages();
        const QMutexLocker lock(&m_factsLock);
        m_facts = read;
        return true;
    }
    release(false);
    forgetImported();
    m_selected = -1;
    m_imageLock = ImageFileLock();
    if (index < 0 || index >= m_drives.size())
        return refuse(QStringLiteral("There is no drive %1.").arg(index));
    m_selected = index;
    if (!grab()) {
        const bool inUse = m_imageLock.inUse();
        m_imageLock = ImageFileLock();
        m_selected = -1;
        return refuse(
            inUse ? QStringLiteral("The image file %1 is in use by another program.")
                        .arg(m_drives[index].path)
                  : QStringLiteral("The drive %1 cannot be used.").arg(m_drives[index].path));
    }
    return true;
}

bool BurnDiscWriter::grab()
{
    const Drive *drive = selected();
    if (!drive)
        return false;
    if (drive->imageFile && !m_imageLock.held()) {
        m_imageLock = ImageFileLock(drive->path);
        if (!m_imageLock.held())
            return false;
    }
    QByteArray address = QFile::encodeName(drive->address);
    burn_drive_info *info = nullptr;
    // Load the tray; let an image file shrink to what a write leaves in it.
    if (isoburn_drive_aquire(&info, address.data(), 1 | 4) != 1 || !info) {
        BurnLibrary::takeMessages();
        return false;
    }
    m_info = info;
    m_drive = info[0].drive;
    while (burn_disc_get_status(m_drive) == BURN_DISC_UNREADY)
        std::this_thread::sleep_for(pollInterval);
    MediaFacts read = readMediaFacts(m_drive, drive->imageFile);
    if (drive->imageFile)
        read.bufferProtection = true;
    {
        const QMutexLocker lock(&m_factsLock);
        m_facts = read;
    }
    BurnLibrary::takeMessages();
    return true;
}

void BurnDiscWriter::release(bool eject)
{
    if (m_drive)
        isoburn_drive_release(m_drive, eject ? 1 : 0);
    if (m_info)
        burn_drive_info_free(m_info);
    m_drive = nullptr;
    m_info = nullptr;
    // The data of imported files is read through the drive as it was acquired.
    m_importReadable = false;
    const QMutexLocker lock(&m_factsLock);
    m_facts = MediaFacts();
}

void BurnDiscWriter::reassess()
{
    release(false);
    grab();
}

bool BurnDiscWriter::DriveSupports(int capability) const
{
    const Drive *drive = selected();
    if (!drive)
        return false;
    if (capability == SupportsBufferProtection)
        return facts().bufferProtection;
    return drive->supports.contains(capability);
}

bool BurnDiscWriter::MoveTray(bool close)
{
    m_lastError.clear();
    const Drive *drive = selected();
    if (m_busy || !drive)
        return refuse(QStringLiteral("The tray cannot move now."));
    if (drive->imageFile)
        return true;
    if (close)
        return m_drive || grab();
    release(true);
    forgetImported();
    return true;
}

std::optional<QString> BurnDiscWriter::holdsFile(const QString &imagePath) const
{
    struct stat image {};
    if (::stat(QFile::encodeName(imagePath).constData(), &image) != 0)
        return std::nullopt;
    for (const SourceFile &file : m_compilation.sourceFiles()) {
        struct stat source {};
        if (::stat(QFile::encodeName(file.sourcePath).constData(), &source) == 0 &&
            source.st_dev == image.st_dev && source.st_ino == image.st_ino)
            return QStringLiteral("The compilation holds %1, the image file being written: "
                                  "an image cannot hold itself.")
                .arg(file.sourcePath);
    }
    return std::nullopt;
}

void BurnDiscWriter::forgetImported()
{
    if (const int dropped = m_compilation.dropImported(
            [this](const QString &key) { Q_EMIT DirectoryRemoved(key, 0, true); }))
        Q_EMIT ImportedFilesDropped(dropped);
}

template <typename Emit> void BurnDiscWriter::post(Emit emit)
{
    QMetaObject::invokeMethod(this, std::move(emit), Qt::QueuedConnection);
}

template <typename Emit> void BurnDiscWriter::finish(Emit emit)
{
    BurnLibrary::takeMessages();
    m_busy = false;
    post(std::move(emit));
}

bool BurnDiscWriter::startJob(std::function<void()> job)
{
    if (m_worker.joinable())
        m_worker.join();
    m_cancel = false;
    m_busy = true;
    // Only what the operation itself reports may count against it.
    BurnLibrary::takeMessages();
    m_worker = std::thread([this, job = std::move(job)] {
        job();
        BurnLibrary::takeMessages();
        m_busy = false;
    });
    return true;
}

// The compilation.

void BurnDiscWriter::announceAdded(const QString &parent, const QString &key, const QString &name)
{
    Q_EMIT DirectoryAdded(parent, key, name, 0, true);
}

bool BurnDiscWriter::askReplace(const QString &key, const QString &sourcePath)
{
    bool replace = false;
    Q_EMIT ReplaceImportedFile(key, sourcePath, 0, replace);
    return replace;
}

void BurnDiscWriter::ClearImage()
{
    if (m_busy)
        return;
    m_compilation.clear();
    Q_EMIT ImageCleared();
}

bool BurnDiscWriter::AddFile(const QString &discPath, const QString &sourcePath)
{
    return add([&](AddReport &report) {
        return m_compilation.addFile(
            discPath, sourcePath,
            [this](const QString &p, const QString &k, const QString &n) {
                announceAdded(p, k, n);
            },
            [this](const QString &k, const QString &s) { return askReplace(k, s); }, &report);
    });
}

bool BurnDiscWriter::AddFolder(const QString &discPath, const QString &sourceFolder)
{
    return add([&](AddReport &report) {
        return m_compilation.addFolder(
            discPath, sourceFolder,
            [this](const QString &p, const QString &k, const QString &n) {
                announceAdded(p, k, n);
            },
            [this](const QString &k, const QString &s) { return askReplace(k, s); }, &report);
    });
}

bool BurnDiscWriter::add(const std::function<bool(AddReport &)> &adding)
{
    m_lastError.clear();
    m_addNotes.clear();
    if (m_busy)
        return refuse(QStringLiteral("Nothing can be added while a disc operation runs."));
    AddReport report;
    const bool added = adding(report);
    m_lastError = report.refusal();
    m_addNotes = report.notes();
    return added;
}

bool BurnDiscWriter::RemoveItem(const QString &key)
{
    bool directory = false;
    if (m_busy || !m_compilation.remove(key, &directory))
        return false;
    if (directory)
        Q_EMIT DirectoryRemoved(Compilation::normalizedKey(key), 0, true);
    return true;
}

bool BurnDiscWriter::RenameFile(const QString &key, const QString &newName)
{
    return !m_busy && m_compilation.rename(key, newName, false).has_value();
}

bool BurnDiscWriter::RenameDirectory(const QString &key, const QString &newName)
{
    const std::optional<QString> newKey =
        m_busy ? std::nullopt : m_compilation.rename(key, newName, true);
    if (!newKey)
        return false;
    Q_EMIT DirectoryRenamed(Compilation::normalizedKey(key), *newKey, true);
    return true;
}

void BurnDiscWriter::ListDirectory(const QString &key)
{
    for (const Compilation::Entry &entry : m_compilation.list(key))
        Q_EMIT FileListed(0, entry.key, entry.name, 0, entry.isDirectory, entry.date, entry.size);
}

qint64 BurnDiscWriter::ImageBlocks()
{
    const Expected<qint64> blocks = m_compilation.imageBlocks(JolietNames() == 1);
    BurnLibrary::takeMessages();
    return blocks ? *blocks : 0;
}

bool BurnDiscWriter::ImportSession(bool)
{
    if (!ready(QStringLiteral("Import")))
        return false;
    if (!facts().importable)
        return refuse(QStringLiteral("The medium holds no ISO 9660 session to import."));
    isoburn_read_opts *options = nullptr;
    isoburn_ropt_new(&options, 0);
    isoburn_ropt_set_extensions(options, isoburn_ropt_noacl | isoburn_ropt_noea);
    IsoImage *image = nullptr;
    const bool loaded = isoburn_read_image(m_drive, options, &image) == 1 && image;
    isoburn_ropt_destroy(&options, 0);
    BurnLibrary::takeMessages();
    if (!loaded)
        return refuse(QStringLiteral("The newest session of the medium cannot be read."));
    AddReport report;
    if (!m_compilation.adoptKeeping(image, &report))
        return refuse(report.refused() ? report.refusal()
                                       : QStringLiteral("The files added before cannot be kept "
                                                        "beside the imported ones."));
    m_importReadable = true;
    Q_EMIT ImageCleared();
    setVolumeLabel(QString::fromUtf8(iso_image_get_volume_id(image)));
    m_compilation.announceDirectories(
        [this](const QString &p, const QString &k, const QString &n) { announceAdded(p, k, n); });
    return true;
}

// Writing.

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

burn_write_opts *BurnDiscWriter::newWriteOptions(bool allowMulti, bool *simulated) const
{
    const Drive *drive = selected();
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
    const Drive *drive = selected();
    if (!drive->imageFile)
        return;
    // The head at the file's start is what makes sessions count; without a new one the file
    // reads as before, and the partly written data behind it goes.
    QFile::resize(drive->path, state.blank ? qMin(state.size, systemAreaBytes) : state.size);
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
    if (medium.discStatus != DiscEmpty && !selected()->imageFile)
        return refuse(QStringLiteral("An image needs a blank medium."));
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
    startJob([&] {
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
    loop.exec();
    m_worker.join();
    m_lastError = failure;
    return saved;
}

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
