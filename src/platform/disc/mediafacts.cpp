#include "platform/disc/mediafacts.h"

#include "platform/disc/burnheaders.h"
#include "platform/disc/discwriter.h"

#include <QByteArray>

#include <cstring>

namespace quillory {

namespace {

constexpr int blockSize = 2048;
// The volume recognition sequence of UDF follows the ISO descriptors within a few blocks.
constexpr int descriptorBlocks = 32;

bool readBlock(burn_drive *drive, qint64 lba, char *buffer)
{
    off_t count = 0;
    return burn_read_data(drive, off_t(lba) * blockSize, buffer, blockSize, &count, 2) > 0 &&
           count == blockSize;
}

int fileSystemsAt(burn_drive *drive, int sessionStart)
{
    int found = 0;
    bool seenTerminator = false;
    char block[blockSize];
    for (int i = 16; i < 16 + descriptorBlocks; ++i) {
        if (!readBlock(drive, sessionStart + i, block))
            break;
        const QByteArray id(block + 1, 5);
        const unsigned char type = static_cast<unsigned char>(block[0]);
        if (id == "CD001") {
            if (type == 1)
                found |= DiscWriter::FileSystemIso9660;
            if (type == 2 && block[88] == '%' && block[89] == '/' &&
                (block[90] == '@' || block[90] == 'C' || block[90] == 'E'))
                found |= DiscWriter::FileSystemJoliet;
            if (type == 255)
                seenTerminator = true;
        } else if (id == "NSR02" || id == "NSR03") {
            found |= DiscWriter::FileSystemUdf;
        } else if (id != "BEA01" && id != "TEA01" && (seenTerminator || !found)) {
            break;
        }
    }
    return found;
}

int cdType(burn_drive *drive)
{
    char type[80] = {};
    char barcode[9] = {};
    unsigned int discId = 0;
    int applicationCode = 0;
    int valid = 0;
    if (burn_disc_get_cd_info(drive, type, &discId, barcode, &applicationCode, &valid) <= 0 ||
        !(valid & 1))
        return DiscWriter::CdUnknown;
    if (std::strcmp(type, "CD-DA or CD-ROM") == 0)
        return DiscWriter::CdRom;
    if (std::strcmp(type, "CD-I") == 0)
        return DiscWriter::CdI;
    if (std::strcmp(type, "CD-ROM XA") == 0)
        return DiscWriter::CdRomXa;
    return DiscWriter::CdUnknown;
}

int sessionCount(burn_drive *drive)
{
    isoburn_toc_disc *toc = isoburn_toc_drive_get_disc(drive);
    if (!toc)
        return 0;
    int count = 0;
    isoburn_toc_disc_get_sessions(toc, &count);
    isoburn_toc_disc_free(toc);
    return count;
}

} // namespace

int mediaTypeOfProfile(int profile)
{
    switch (profile) {
    case 0x00:
        return DiscWriter::MediaNone;
    case 0x08: // a pressed CD reads like a closed CD-R
    case 0x09:
        return DiscWriter::MediaCdR;
    case 0x0a:
        return DiscWriter::MediaCdRw;
    case 0x10:
        return DiscWriter::MediaDvdRom;
    case 0x11:
        return DiscWriter::MediaDvdR;
    case 0x12:
        return DiscWriter::MediaDvdRam;
    case 0x13:
    case 0x14:
        return DiscWriter::MediaDvdRw;
    case 0x1a:
    case 0xffff: // an image file, overwritable like DVD+RW
        return DiscWriter::MediaDvdPlusRw;
    case 0x1b:
        return DiscWriter::MediaDvdPlusR;
    case 0x2b:
        return DiscWriter::MediaDvdPlusRDualLayer;
    default:
        return DiscWriter::MediaOtherDvd;
    }
}

MediaFacts readMediaFacts(burn_drive *drive, bool imageFile)
{
    MediaFacts facts;
    burn_write_opts *options = burn_write_opts_new(drive);
    facts.bufferProtection = burn_write_opts_set_underrun_proof(options, 1) == 1;
    burn_write_opts_free(options);

    int profile = 0;
    char profileName[80] = {};
    burn_disc_get_profile(drive, &profile, profileName);
    const burn_disc_status status = isoburn_disc_get_status(drive);
    if (status == BURN_DISC_EMPTY || (profile == 0 && !imageFile))
        return facts;
    facts.mediaType = imageFile ? int(DiscWriter::MediaDvdPlusRw) : mediaTypeOfProfile(profile);
    facts.cdMedia =
        facts.mediaType == DiscWriter::MediaCdR || facts.mediaType == DiscWriter::MediaCdRw;
    facts.writeOnceDvd =
        profile == 0x11 || profile == 0x15 || profile == 0x16 || profile == 0x1b || profile == 0x2b;
    facts.maxWriteSpeed = qMax(0, burn_drive_get_write_speed(drive));
    facts.discType = cdType(drive);
    facts.writable = status == BURN_DISC_BLANK || status == BURN_DISC_APPENDABLE;
    switch (status) {
    case BURN_DISC_BLANK:
        facts.discStatus = DiscWriter::DiscEmpty;
        facts.lastSessionState = DiscWriter::SessionEmpty;
        break;
    case BURN_DISC_APPENDABLE:
        facts.discStatus = DiscWriter::DiscOpen;
        facts.lastSessionState = DiscWriter::SessionClosed;
        break;
    case BURN_DISC_FULL:
        facts.discStatus = DiscWriter::DiscClosed;
        facts.lastSessionState = DiscWriter::SessionClosed;
        break;
    default:
        break;
    }
    if (burn_disc *disc = burn_drive_get_disc(drive)) {
        if (burn_disc_get_incomplete_sessions(disc) > 0)
            facts.lastSessionState = DiscWriter::SessionIncomplete;
        burn_disc_free(disc);
    }
    burn_multi_caps *caps = nullptr;
    if (burn_disc_get_multi_caps(drive, BURN_WRITE_NONE, &caps, 0) > 0 && caps)
        facts.multiSession = caps->multi_session == 1;
    burn_disc_free_multi_caps(&caps);
    facts.multiSession =
        facts.writable && (facts.multiSession || isoburn_needs_emulation(drive) == 1);
    if (facts.writable)
        facts.freeBlocks = isoburn_disc_available_space(drive, nullptr) / blockSize;
    if (status == BURN_DISC_BLANK)
        return facts;

    facts.sessions = sessionCount(drive);
    int startLba = 0;
    int nextWritable = 0;
    if (facts.writable &&
        isoburn_disc_track_lba_nwa(drive, nullptr, 0, &startLba, &nextWritable) == 1) {
        facts.usedBlocks = nextWritable;
    } else {
        int readable = 0;
        if (burn_get_read_capacity(drive, &readable, 0) > 0)
            facts.usedBlocks = readable;
    }

    int sessionStart = 0;
    if (isoburn_disc_get_msc1(drive, &sessionStart) <= 0)
        sessionStart = 0;
    int imageBlocks = 0;
    char info[80] = {};
    facts.importable = isoburn_read_iso_head(drive, sessionStart, &imageBlocks, info, 0) > 0;
    facts.fileSystems = fileSystemsAt(drive, sessionStart);
    if (facts.fileSystems == 0)
        facts.fileSystems = DiscWriter::FileSystemOther;
    return facts;
}

} // namespace quillory
