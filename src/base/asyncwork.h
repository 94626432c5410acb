#pragma once

#include <QAbstractEventDispatcher>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <QCoroTask>
#include <QCoroTimer>

#include <chrono>
#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>

namespace AsyncWork {

namespace detail {

// Where work on a pool resumes its awaiting thread: that thread's event dispatcher for as long as it exists. Work
// that ends after it is gone (the application quitting meanwhile) resumes nothing, instead of posting to freed
// memory. One per dispatcher, shared by every awaiter of its thread.
class ResumeTarget
{
public:
    // The calling thread's target.
    static std::shared_ptr<ResumeTarget> current();

    // Resumes `awaiting` on the target's thread through one posted event, if its dispatcher still exists.
    void resume(std::coroutine_handle<> awaiting);

    explicit ResumeTarget(QAbstractEventDispatcher* dispatcher)
        : m_dispatcher(dispatcher)
    {}

private:
    std::mutex m_lock;
    QAbstractEventDispatcher* m_dispatcher;
};

// A result or the exception that replaced it.
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

// Awaits work on a pool. The pool's thread posts the resumption to the awaiting thread's event dispatcher: one
// event, where a QFuture's watcher would post several, and no object made or deleted per piece of work. Copies
// share one state, so it does not matter which one is awaited.
template<typename Result>
class PoolAwaiter
{
public:
    PoolAwaiter(QThreadPool* pool, std::function<void(Outcome<Result>&)> work)
        : m_state(std::make_shared<State>(pool, std::move(work)))
    {}

    bool await_ready() const noexcept { return false; }

    void await_suspend(std::coroutine_handle<> awaiting)
    {
        m_state->pool->start([state = m_state, target = ResumeTarget::current(), awaiting] {
            state->work(state->outcome);
            // Whatever the work captured goes here, on the pool.
            state->work = nullptr;
            target->resume(awaiting);
        });
    }

    Result await_resume()
    {
        if (m_state->outcome.error)
            std::rethrow_exception(m_state->outcome.error);
        if constexpr (!std::is_void_v<Result>)
            return std::move(*m_state->outcome.value);
    }

private:
    struct State
    {
        State(QThreadPool* pool, std::function<void(Outcome<Result>&)> work)
            : pool(pool)
            , work(std::move(work))
        {}
        QThreadPool* pool;
        std::function<void(Outcome<Result>&)> work;
        Outcome<Result> outcome;
    };
    std::shared_ptr<State> m_state;
};

} // namespace detail

// Runs `work` on `pool` and resumes the awaiting coroutine on its own thread with the result, or
// rethrows there what `work` threw. The result is moved, never copied, to the caller, and `work` (with whatever
// it captured) is destroyed on the pool: a large value handed over in either direction is never freed by a
// copy left behind on the awaiting thread. The awaiting thread needs a running event loop.
template<typename Work, typename Result = std::invoke_result_t<Work&>>
QCoro::Task<Result> runOn(QThreadPool* pool, Work work)
{
    // std::function wants a copyable callable; the work is moved once, into a shared holder.
    auto held = std::make_shared<std::optional<Work>>(std::move(work));
    detail::PoolAwaiter<Result> awaiter(pool, [held](detail::Outcome<Result>& outcome) {
        try {
            if constexpr (std::is_void_v<Result>)
                (**held)();
            else
                outcome.value.emplace((**held)());
        } catch (...) {
            outcome.error = std::current_exception();
        }
        held->reset();
    });
    co_return co_await awaiter;
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
