#include "platform/clock.h"

#include <QElapsedTimer>

namespace quillory {

namespace {

struct SetClock {
    QDateTime start;
    QElapsedTimer sinceStart;
};

const SetClock &setClock()
{
    static const SetClock clock = [] {
        SetClock set{QDateTime::fromString(qEnvironmentVariable("QUILLORY_NOW"), Qt::ISODate), {}};
        set.sinceStart.start();
        return set;
    }();
    return clock;
}

} // namespace

bool clockIsSet()
{
    return setClock().start.isValid();
}

QDateTime clockNow()
{
    const SetClock &clock = setClock();
    if (!clock.start.isValid())
        return QDateTime::currentDateTime();
    return clock.start.addMSecs(clock.sinceStart.elapsed());
}

} // namespace quillory
