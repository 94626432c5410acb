#include "platform/system/clock.h"

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

SystemClock& SystemClock::shared()
{
    static SystemClock clock;
    return clock;
}
