#pragma once

#include <QString>

#include <optional>

namespace quillory {

// The sense data of a SCSI command that a drive refused: key, additional sense code and its
// qualifier.
struct DriveSense {
    int key = 0;
    int asc = 0;
    int ascq = 0;

    // As libburn and the drive tools print it: "[3 0C 09]".
    QString text() const;
};

// The sense data within one of libburn's messages about a failed SCSI command, which carry it
// as "[K AA QQ]" in hexadecimal.
std::optional<DriveSense> senseInMessage(const QString &message);

// The drive error code (1000 to 1055) that describes the sense data best.
int driveCodeForSense(const DriveSense &sense);

} // namespace quillory
