#include "burn/errortexts.h"

#include <QLocale>

#include <array>

namespace quillory {

namespace {

constexpr int firstDriveCode = 1000;

const std::array<const char *, 56> driveErrorTexts = {
    "No additional error data was reported",
    "Abnormal I/O Termination",
    "The drive is not ready",
    "Communication with drive unit failed",
    "The drive could not track properly",
    "Writing error of unknown origin",
    "Writing occurred, but recovery is needed",
    "Recovery attempt failed",
    "A buffer under-run has occurred",
    "The disc could not be read",
    "The drive's attempts at reading retries failed",
    "The read timed out",
    "While reading, the LEC was not recovered",
    "The CIRC could not be validated",
    "Reading of the UPC failed",
    "Reading of the ISRC failed",
    "Streaming while reading was interrupted",
    "Drive could not position media",
    "An incompatible parameter length was sent to the drive",
    "A transfer error occurred to the drive",
    "An invalid command was sent to the drive",
    "Error trying to write past the end of the media",
    "Invalid command field",
    "An incompatible parameter field was sent to the drive",
    "A command parameter is not supported",
    "A command parameter had an invalid value",
    "The SCSI/ATAPI bus was reset and caused a write failure",
    "A command parameter changed while in progress",
    "The disc is not compatible with the drive mode",
    "The drive does not recognize the format of the disc",
    "The disc format is not compatible with the drive",
    "The disc is of an unknown format",
    "The drive cannot write because of an incompatible format",
    "A disc is not present",
    "The drive had an unknown failure",
    "The drive has timed out while completing a command",
    "The disc could not be erased",
    "The Table of Contents is unrecoverable",
    "Error trying to write past the user area of the media",
    "Packet recording is not configured correctly",
    "The current track mode is incompatible with the disc format",
    "Packet recording has incorrect size",
    "A generic session closing error occurred",
    "Error closing Lead-in area",
    "Error closing Lead-out area",
    "While closing, the track was never completed",
    "Error attempting to write to a reserved track",
    "Power calibration area is full",
    "A flaw exists in the Power calibration area",
    "The disc's PMA could not be updated",
    "The disc's PMA is full",
    "Unknown error - use extended data for more information",
    "No Error Reported",
    "A seek command was interrupted by another command",
    "A NT disc I/O operation failed",
    "A format is in progress causing operation failure",
};

} // namespace

QString DriveErrorText(qint32 code)
{
    const qint64 index = qint64(code) - firstDriveCode;
    QString text;
    if (index >= 0 && index < qint64(driveErrorTexts.size()))
        text = QLatin1String(driveErrorTexts[size_t(index)]);
    return text + QLatin1String(" (") + QString::number(code) + QLatin1String(").");
}

QString FileErrorText(qint32 kind, const QString &fileName)
{
    switch (kind) {
    case 0:
        return QLatin1String("Error Opening File: ") + fileName;
    case 1:
        return QLatin1String("Error Closing File: ") + fileName;
    case 2:
        return QLatin1String("Error Reading file: ") + fileName;
    default:
        return QLatin1String("Unknown file error!:") + fileName;
    }
}

QString FormatMegabytes(double bytes)
{
    // Fixed notation keeps every integer digit and never groups them.
    QString number = QString::number(bytes / 1048576.0, 'f', 2);
    number.replace(QLatin1Char('.'), QLocale().decimalPoint());
    return number + QLatin1String(" MB");
}

} // namespace quillory
