#pragma once

#include <QCoroTask>

#include <chrono>

// Waits between steps of the store's work: settle delays after actions and the polling interval. Tests hand
// the store one that records the delays instead of waiting.
class Sleeper
{
public:
    virtual ~Sleeper() = default;
    // Must not touch the sleeper once it has started waiting, so the sleeper may go while a wait runs.
    virtual QCoro::Task<> sleep(std::chrono::milliseconds duration) = 0;
};

// Waits on the GUI thread's event loop with a precise timer.
class PreciseSleeper final : public Sleeper
{
public:
    QCoro::Task<> sleep(std::chrono::milliseconds duration) override;
};
