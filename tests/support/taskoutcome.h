#pragma once

#include <QCoroTask>

#include <exception>
#include <optional>

// The value or the exception a task ended with. QCoro 0.8's waitFor never returns for a task that throws, so
// tests wait for a task that cannot: one that catches.
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

namespace TaskOutcomes {

template<typename T>
QCoro::Task<TaskOutcome<T>> settle(QCoro::Task<T> task)
{
    TaskOutcome<T> outcome;
    try {
        outcome.value = co_await task;
    } catch (...) {
        outcome.exception = std::current_exception();
    }
    co_return outcome;
}

} // namespace TaskOutcomes

// Blocks (running the event loop) until `task` has returned or thrown.
template<typename T>
TaskOutcome<T> waitForOutcome(QCoro::Task<T>&& task)
{
    return QCoro::waitFor(TaskOutcomes::settle(std::move(task)));
}
