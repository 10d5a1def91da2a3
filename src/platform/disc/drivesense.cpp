#include "platform/disc/drivesense.h"

#include <QRegularExpression>

namespace quillory {

namespace {

constexpr int anyQualifier = -1;

struct SenseCode {
    int key;
    int asc;
    int ascq;
    int code;
};

// Specific entries first: the first that fits wins. Codes follow the drive error texts.
constexpr SenseCode senseCodes[] = {
    {0x2, 0x04, 0x04, 1055},                                          // format in progress
    {0x2, 0x04, anyQualifier, 1002}, {0x2, 0x3A, anyQualifier, 1033}, // medium not present
    {0x2, 0x30, anyQualifier, 1028}, {0x3, 0x0C, 0x07, 1006},
    {0x3, 0x0C, 0x08, 1007},         {0x3, 0x0C, 0x09, 1008}, // loss of streaming
    {0x3, 0x0C, anyQualifier, 1005}, {0x3, 0x11, 0x01, 1010},
    {0x3, 0x11, 0x05, 1012},         {0x3, 0x11, 0x06, 1013},
    {0x3, 0x11, anyQualifier, 1009}, {0x3, 0x09, anyQualifier, 1004}, // tracking error
    {0x3, 0x15, anyQualifier, 1017}, {0x3, 0x31, anyQualifier, 1029},
    {0x3, 0x51, anyQualifier, 1036}, {0x3, 0x57, anyQualifier, 1037},
    {0x3, 0x72, 0x01, 1043},         {0x3, 0x72, 0x02, 1044},
    {0x3, 0x72, 0x03, 1045},         {0x3, 0x72, 0x04, 1046},
    {0x3, 0x72, anyQualifier, 1042}, {0x3, 0x73, 0x02, 1047},
    {0x3, 0x73, 0x03, 1048},         {0x3, 0x73, 0x04, 1049},
    {0x3, 0x73, 0x05, 1050},         {0x4, 0x08, anyQualifier, 1003},
    {0x4, 0x3E, 0x02, 1035},         {0x5, 0x1A, anyQualifier, 1018},
    {0x5, 0x20, anyQualifier, 1020}, {0x5, 0x21, 0x02, 1038},
    {0x5, 0x21, anyQualifier, 1021}, {0x5, 0x24, anyQualifier, 1022},
    {0x5, 0x26, 0x01, 1024},         {0x5, 0x26, 0x02, 1025},
    {0x5, 0x26, anyQualifier, 1023}, {0x5, 0x30, 0x01, 1031},
    {0x5, 0x30, 0x02, 1030},         {0x5, 0x30, 0x05, 1032},
    {0x5, 0x30, anyQualifier, 1028}, {0x5, 0x63, anyQualifier, 1038}, // end of user area
    {0x5, 0x64, 0x01, 1041},         {0x5, 0x64, anyQualifier, 1040},
    {0x5, 0x2C, anyQualifier, 1039}, {0x6, 0x29, anyQualifier, 1026}, // reset
    {0x6, 0x2A, anyQualifier, 1027}, {0x6, 0x28, anyQualifier, 1002},
    {0xB, 0x47, anyQualifier, 1019}, // parity error
    {0xB, 0x00, 0x06, 1053},
};

} // namespace

QString DriveSense::text() const
{
    return QStringLiteral("[%1 %2 %3]")
        .arg(key, 0, 16)
        .arg(asc, 2, 16, QLatin1Char('0'))
        .arg(ascq, 2, 16, QLatin1Char('0'))
        .toUpper();
}

std::optional<DriveSense> senseInMessage(const QString &message)
{
    static const QRegularExpression pattern(
        QStringLiteral("\\[([0-9A-Fa-f]) ([0-9A-Fa-f]{2}) ([0-9A-Fa-f]{2})\\]"));
    const QRegularExpressionMatch match = pattern.match(message);
    if (!match.hasMatch())
        return std::nullopt;
    return DriveSense{match.captured(1).toInt(nullptr, 16), match.captured(2).toInt(nullptr, 16),
                      match.captured(3).toInt(nullptr, 16)};
}

int driveCodeForSense(const DriveSense &sense)
{
    if (sense.key == 0 && sense.asc == 0 && sense.ascq == 0)
        return 1000;
    for (const SenseCode &entry : senseCodes) {
        if (entry.key == sense.key && entry.asc == sense.asc &&
            (entry.ascq == anyQualifier || entry.ascq == sense.ascq))
            return entry.code;
    }
    switch (sense.key) {
    case 0x2:
        return 1002;
    case 0x3:
        return 1005;
    case 0x4:
        return 1034;
    case 0xB:
        return 1001;
    default:
        return 1051;
    }
}

} // namespace quillory
