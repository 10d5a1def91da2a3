#include "burn/writespeeds.h"

#include "platform/disc/discwriter.h"

#include <cmath>

namespace quillory {

namespace {

bool isCdScale(int mediaType)
{
    return mediaType == DiscWriter::MediaCdRw || mediaType == DiscWriter::MediaCdR ||
           mediaType == DiscWriter::MediaNone;
}

// One decimal, and no zero before the point (a speed below 1x reads ".5x").
QString dvdFactor(int speed)
{
    QString text = QString::number(speed / 1380.0, 'f', 1);
    if (text.startsWith(QLatin1String("0.")))
        text.remove(0, 1);
    return text + QLatin1Char('x');
}

QString cdFactor(int speed)
{
    double factor = speed / 176.0;
    if (factor > 0 && factor < 2)
        factor = 1;
    return QString::number(std::lround(factor)) + QLatin1Char('x');
}

} // namespace

QList<WriteSpeed> writeSpeeds(int mediaType, int maxWriteSpeed)
{
    QList<WriteSpeed> speeds;
    int speed = maxWriteSpeed;
    if (speed < 1) {
        speeds.append({QStringLiteral("Default"), 0});
    } else if (!isCdScale(mediaType)) {
        do {
            speeds.append({dvdFactor(speed), speed});
            speed -= 690;
        } while (speed >= 1380);
    } else {
        do {
            speeds.append({cdFactor(speed), speed});
            speed -= speed >= 1200 ? 704 : 352;
        } while (speed > 0);
    }
    return speeds;
}

} // namespace quillory
