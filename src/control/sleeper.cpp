#include "control/sleeper.h"

#include "base/asyncwork.h"

QCoro::Task<> PreciseSleeper::sleep(std::chrono::milliseconds duration)
{
    return AsyncWork::sleepPrecisely(duration);
}
