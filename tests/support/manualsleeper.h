#pragma once

#include "control/sleeper.h"

#include <QCoroTask>

#include <algorithm>
#include <chrono>
#include <coroutine>
#include <memory>
#include <stdexcept>
#include <vector>

// Time that moves only when the test moves it: a sleep ends once advance() carries the time to its deadline.
// Sleeps whose deadlines one advance passes end in deadline order, each at once and with the time at its own
// deadline, so what they start (a read, the next sleep) happens when it would. Sleeps still waiting when the
// sleeper goes fail.
class ManualSleeper final : public Sleeper
{
public:
    ManualSleeper() = default;
    ManualSleeper(const ManualSleeper&) = delete;
    ManualSleeper& operator=(const ManualSleeper&) = delete;

    ~ManualSleeper() override
    {
        const auto waiters = std::exchange(m_waiters, {});
        for (const auto& waiter : waiters) {
            waiter->closed = true;
            waiter->handle.resume();
        }
    }

    QCoro::Task<> sleep(std::chrono::milliseconds duration) override
    {
        requests.push_back(duration);
        auto waiter = std::make_shared<Waiter>();
        waiter->deadline = m_now + duration;
        return waitFor(Wait{this, std::move(waiter)});
    }

    std::chrono::milliseconds now() const { return m_now; }
    // Sleeps that have not ended yet.
    int waiting() const { return int(m_waiters.size()); }

    void advance(std::chrono::milliseconds step)
    {
        const std::chrono::milliseconds target = m_now + step;
        for (;;) {
            const auto next = std::min_element(m_waiters.begin(), m_waiters.end(),
                                               [](const auto& a, const auto& b) { return a->deadline < b->deadline; });
            if (next == m_waiters.end() || (*next)->deadline > target)
                break;
            const std::shared_ptr<Waiter> waiter = *next;
            m_waiters.erase(next);
            m_now = waiter->deadline;
            waiter->handle.resume();
        }
        m_now = target;
    }

    std::vector<std::chrono::milliseconds> requests;

private:
    struct Waiter
    {
        std::chrono::milliseconds deadline{0};
        std::coroutine_handle<> handle;
        bool closed = false;
    };

    struct Wait
    {
        ManualSleeper* sleeper;
        std::shared_ptr<Waiter> waiter;

        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle)
        {
            waiter->handle = handle;
            sleeper->m_waiters.push_back(waiter);
        }
        void await_resume() const
        {
            if (waiter->closed)
                throw std::runtime_error("the sleeper went away");
        }
    };

    static QCoro::Task<> waitFor(Wait wait) { co_await wait; }

    std::chrono::milliseconds m_now{0};
    std::vector<std::shared_ptr<Waiter>> m_waiters;
};
