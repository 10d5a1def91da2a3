#pragma once

#include <QList>
#include <QString>

namespace quillory {

struct WriteSpeed {
    QString text;           // as the speed list shows it, e.g. "40x" or "16.1x"
    int kilobytesPerSecond; // 0 for "Default"
};

// The choices of the speed list for a recorder: from its highest write speed down, on the CD
// scale for CDs and an empty drive, on the DVD scale for everything else. A drive that does
// not tell its speed offers only "Default".
QList<WriteSpeed> writeSpeeds(int mediaType, int maxWriteSpeed);

} // namespace quillory
