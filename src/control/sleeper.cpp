#include "control/sleeper.h"

#include "control/asyncwork.h"

QCoro::Task<> PreciseSleeper::sleep(std::chrono::milliseconds duration)
{
    return AsyncWork::sleepPrecisely(duration);
}
