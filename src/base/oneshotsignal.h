#pragma once

#include <QCoroSignal>
#include <QCoroTask>
#include <QObject>

// A flag a coroutine waits on: plain slots and timers fire it, the coroutine that owns it resumes once it is set.
// Lets one wait cover several sources (finished, failed to start, a deadline) without racing any of them.
class OneShotSignal : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    void fire()
    {
        if (m_fired)
            return;
        m_fired = true;
        Q_EMIT fired();
    }
    bool hasFired() const { return m_fired; }

Q_SIGNALS:
    void fired();

private:
    bool m_fired = false;
};

// Resumes once `signal` has fired, at once when it already has. The resumption is queued, so the coroutine never
// runs inside the handler that fired it.
inline QCoro::Task<> untilFired(OneShotSignal* signal)
{
    if (!signal->hasFired())
        co_await qCoro(signal, &OneShotSignal::fired);
}
