#include "platform/disc/drivescan.h"

#include "platform/disc/burnheaders.h"
#include "platform/disc/discwriter.h"
#include "platform/disc/imagefiledrives.h"

#include <chrono>
#include <thread>

namespace quillory {

namespace {

using namespace std::chrono_literals;

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

QList<DiscDrive> scanDiscDrives()
{
    QList<DiscDrive> drives;
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
            DiscDrive drive;
            drive.address = QString::fromLocal8Bit(address);
            drive.path = drive.address;
            drive.vendor = QString::fromLatin1(infos[i].vendor).trimmed();
            drive.product = QString::fromLatin1(infos[i].product).trimmed();
            drive.supports = capabilitiesOfProfiles(infos[i].drive, infos[i]);
            drive.writer = writesSomething(infos[i], drive.supports, infos[i].drive);
            drives.append(drive);
            burn_drive_info_forget(&infos[i], 0);
        }
        burn_drive_info_free(infos);
    }
    for (const QString &path : imageFileDrives()) {
        DiscDrive drive;
        drive.address = QLatin1String("stdio:") + path;
        drive.path = path;
        drive.vendor = QStringLiteral("Image");
        drive.product = QStringLiteral("File");
        drive.writer = true;
        drive.imageFile = true;
        drive.supports = {DiscWriter::SupportsDvdPlusRw};
        drives.append(drive);
    }
    return drives;
}

} // namespace quillory
