#pragma once

#include <QList>
#include <QSet>
#include <QString>

namespace quillory {

// A drive the disc writer offers: a recorder libburn found, or an image file standing in for one.
struct DiscDrive {
    QString address; // for libburn
    QString path;    // as shown
    QString vendor;
    QString product;
    bool writer = false;
    bool imageFile = false;
    QSet<int> supports;
};

// The recorders libburn finds, then the image files named as drives. libburn refuses to scan
// while any drive is acquired.
QList<DiscDrive> scanDiscDrives();

} // namespace quillory
