#include "platform/disc/burndiscwriter.h"

#include "platform/disc/burnheaders.h"
#include "platform/trappedwork.h"

#include <QFile>
#include <QMutexLocker>
#include <system_error>

namespace quillory {

QString BurnDiscWriter::megabytes(qint64 blocks)
{
    return QString::number(double(blocks) * 2048 / 1048576.0, 'f', 2) + QLatin1String(" MB");
}

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

const DiscDrive *BurnDiscWriter::selected() const
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
    m_drives = scanDiscDrives();
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
    const DiscDrive *drive = selected();
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
    const DiscDrive *drive = selected();
    if (!drive)
        return false;
    if (capability == SupportsBufferProtection)
        return facts().bufferProtection;
    return drive->supports.contains(capability);
}

bool BurnDiscWriter::MoveTray(bool close)
{
    m_lastError.clear();
    const DiscDrive *drive = selected();
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

bool BurnDiscWriter::startJob(std::function<void()> job)
{
    if (m_worker.joinable())
        m_worker.join();
    m_cancel = false;
    m_busy = true;
    // Only what the operation itself reports may count against it.
    BurnLibrary::takeMessages();
    try {
        m_worker = std::thread([this, job = std::move(job)] {
            // An operation that throws still ends, failed, rather than ending the program.
            const Result ran = trapped([&job] {
                job();
                return Result::success();
            });
            if (!ran) {
                reportFailure({}, ran.message());
                return;
            }
            BurnLibrary::takeMessages();
            m_busy = false;
        });
    } catch (const std::system_error &error) {
        // The operation never began: the drive and the compilation are as they were.
        m_busy = false;
        return refuse(QStringLiteral("Cannot start a worker thread: %1")
                          .arg(QString::fromLocal8Bit(error.what())));
    }
    return true;
}

} // namespace quillory
