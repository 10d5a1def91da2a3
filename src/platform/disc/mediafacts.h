#pragma once

#include <QtGlobal>

namespace burn {
struct burn_drive;
}

namespace quillory {

// What a drive says about its medium, read once when the drive is taken or its medium changed,
// so that the answers stay at hand while an operation owns the drive.
struct MediaFacts {
    int mediaType = 254;
    int maxWriteSpeed = 0;
    int sessions = 0;
    int discStatus = 3;
    int discType = 255;
    int lastSessionState = 2;
    qint64 freeBlocks = 0;
    qint64 usedBlocks = 0;
    bool multiSession = false;
    bool importable = false;
    int fileSystems = 0;
    bool bufferProtection = false;
    bool writable = false; // blank or appendable
    bool cdMedia = false;
    bool writeOnceDvd = false;
};

// The media type code of a libburn profile number.
int mediaTypeOfProfile(int profile);
MediaFacts readMediaFacts(burn::burn_drive *drive, bool imageFile);

} // namespace quillory
