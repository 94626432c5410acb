#pragma once

#include "base/oneshotsignal.h"
#include "platform/desktop/loginitemservice.h"

#include <QMutex>
#include <QSemaphore>
#include <QStringList>

#include <atomic>
#include <memory>

// A login-item service the test answers. status() runs on a worker thread: it reads the status when it is
// called and, while `holdStatus` is set, returns it only once the test releases it.
class FakeLoginItemService final : public LoginItemService
{
public:
    std::atomic<int> serviceStatus{LoginItemServiceStatus::notRegistered};
    std::atomic<bool> holdStatus{false};
    // Set: a removal ends (and takes effect) only when the test releases it.
    bool holdRemoval = false;
    // The status after a registration or removal that succeeded.
    int statusAfterRegister = LoginItemServiceStatus::enabled;
    int statusAfterUnregister = LoginItemServiceStatus::notRegistered;
    // Set: the call fails with this reason and the status stays.
    std::optional<QString> registerFailure;
    std::optional<QString> unregisterFailure;

    int status() const override
    {
        const int answer = serviceStatus;
        ++m_statusCalls;
        if (holdStatus)
            m_gate.acquire();
        return answer;
    }

    void registerItem() override
    {
        record(QStringLiteral("register"));
        if (registerFailure)
            throw LoginItemError(*registerFailure);
        serviceStatus = statusAfterRegister;
    }

    QCoro::Task<std::optional<LoginItemError>> unregisterItem() override
    {
        record(QStringLiteral("unregister"));
        if (holdRemoval) {
            // As a removal on a worker thread that ends late: it takes effect only when it ends.
            auto ended = std::make_shared<OneShotSignal>();
            m_heldRemovals.append(ended);
            co_await untilFired(ended.get());
        }
        if (unregisterFailure)
            co_return LoginItemError(*unregisterFailure);
        serviceStatus = statusAfterUnregister;
        co_return std::nullopt;
    }

    void openSystemSettings() override { record(QStringLiteral("openSettings")); }

    // Ends the removals held so far, oldest first.
    void releaseRemovals()
    {
        const QList<std::shared_ptr<OneShotSignal>> held = std::exchange(m_heldRemovals, {});
        for (const std::shared_ptr<OneShotSignal>& removal : held)
            removal->fire();
    }
    qsizetype heldRemovals() const { return m_heldRemovals.size(); }
    // Lets `count` held status reads return.
    void releaseStatus(int count = 1) { m_gate.release(count); }
    int statusCalls() const { return m_statusCalls; }
    QStringList calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }

private:
    void record(const QString& call)
    {
        QMutexLocker lock(&m_mutex);
        m_calls.append(call);
    }

    mutable QSemaphore m_gate;
    mutable std::atomic<int> m_statusCalls{0};
    mutable QMutex m_mutex;
    QStringList m_calls;
    QList<std::shared_ptr<OneShotSignal>> m_heldRemovals;
};
