#pragma once

#include <QCoroTask>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

// Runs a task to its end in a nested event loop and hands back its result, or rethrows what it threw.
// QCoro::waitFor never returns from a task that throws; this one does, and gives up after `timeout`.
namespace TaskWait {

namespace detail {

template<typename T>
struct State
{
    QEventLoop loop;
    bool done = false;
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
    std::exception_ptr error;
};

template<typename T>
QCoro::Task<> drive(QCoro::Task<T> task, std::shared_ptr<State<T>> state)
{
    try {
        if constexpr (std::is_void_v<T>)
            co_await task;
        else
            state->value.emplace(co_await task);
    } catch (...) {
        state->error = std::current_exception();
    }
    state->done = true;
    state->loop.quit();
}

} // namespace detail

template<typename T>
T awaitTask(QCoro::Task<T> task, std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    auto state = std::make_shared<detail::State<T>>();
    detail::drive(std::move(task), state);
    if (!state->done) {
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &state->loop, &QEventLoop::quit);
        limit.start(timeout);
        state->loop.exec();
    }
    if (!state->done)
        throw std::runtime_error("the task did not finish in time");
    if (state->error)
        std::rethrow_exception(state->error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*state->value);
}

} // namespace TaskWait

using TaskWait::awaitTask;

// The value or the exception a task ended with, for tests that look at both.
template<typename T>
struct TaskOutcome
{
    std::optional<T> value;
    std::exception_ptr exception;

    // The exception as `E`, absent when the task returned or threw something else.
    template<typename E>
    std::optional<E> errorAs() const
    {
        if (!exception)
            return std::nullopt;
        try {
            std::rethrow_exception(exception);
        } catch (const E& error) {
            return error;
        } catch (...) {
            return std::nullopt;
        }
    }
};

template<typename T>
TaskOutcome<T> waitForOutcome(QCoro::Task<T> task, std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    TaskOutcome<T> outcome;
    try {
        outcome.value.emplace(awaitTask(std::move(task), timeout));
    } catch (...) {
        outcome.exception = std::current_exception();
    }
    return outcome;
}
