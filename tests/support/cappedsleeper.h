#pragma once

#include "control/sleeper.h"

#include <algorithm>
#include <chrono>

// Waits as the application does, but never longer than `cap`: for tests that poll for the outcome the long
// settle delays would wait for, while the short ones a test relies on stay as they are.
class CappedSleeper final : public Sleeper
{
public:
    explicit CappedSleeper(std::chrono::milliseconds cap)
        : m_cap(cap)
    {}

    QCoro::Task<> sleep(std::chrono::milliseconds duration) override
    {
        return m_precise.sleep(std::min(duration, m_cap));
    }

private:
    const std::chrono::milliseconds m_cap;
    PreciseSleeper m_precise;
};
