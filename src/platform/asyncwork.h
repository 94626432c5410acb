#pragma once

#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>
#include <QCoroTask>
#include <QCoroTimer>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

namespace AsyncWork {

namespace detail {

// A result or the exception that replaced it; QFuture would wrap a foreign exception beyond recognition.
template<typename T>
struct Outcome
{
    std::optional<T> value;
    std::exception_ptr error;
};

template<>
struct Outcome<void>
{
    std::exception_ptr error;
};

} // namespace detail

// Runs `work` on `pool` and resumes the awaiting coroutine on its own thread with the result, or
// rethrows there what `work` threw. The result is moved, never copied, to the caller, and `work` (with whatever
// it captured) is destroyed on the pool: a large value handed over in either direction is never freed by a
// copy left behind on the awaiting thread.
template<typename Work, typename Result = std::invoke_result_t<Work&>>
QCoro::Task<Result> runOn(QThreadPool* pool, Work work)
{
    auto outcome = std::make_shared<detail::Outcome<Result>>();
    QFuture<void> done = QtConcurrent::run(pool, [work = std::move(work), outcome]() mutable {
        try {
            if constexpr (std::is_void_v<Result>)
                work();
            else
                outcome->value.emplace(work());
        } catch (...) {
            outcome->error = std::current_exception();
        }
    });
    co_await done;
    if (outcome->error)
        std::rethrow_exception(outcome->error);
    if constexpr (!std::is_void_v<Result>)
        co_return std::move(*outcome->value);
}

// A task that has already ended, for an interface whose implementation has nothing to wait for.
inline QCoro::Task<> done()
{
    co_return;
}

// Waits without blocking the thread, to the millisecond.
inline QCoro::Task<> sleepPrecisely(std::chrono::milliseconds duration)
{
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    timer.start(duration);
    co_await timer;
}

} // namespace AsyncWork
