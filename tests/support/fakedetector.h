#pragma once

#include "discovery/serverdetecting.h"

#include <QCoroSignal>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <exception>

// A detector whose scans the test answers. By default every scan returns `servers` at once (or throws
// `error`); while `hold` is set each scan waits until the test finishes it by its number (1, 2, ...).
class FakeDetector final : public QObject, public ServerDetecting
{
    Q_OBJECT

public:
    QList<LocalServer> servers;
    std::exception_ptr error;
    bool hold = false;

    // Scans asked for so far; the latest one's number.
    int scanCount() const { return m_started; }
    // Held scans that have not been answered yet.
    int waitingCount() const { return m_waiting; }

    void finish(int scan, QList<LocalServer> result)
    {
        m_outcomes.insert(scan, Outcome{std::move(result), {}});
        Q_EMIT answered();
    }
    // Answers every scan that waits now with `result`, with one wake-up: the waiters resume through queued
    // connections, so a second emission before they ran would resume a waiter that has already gone.
    void finishWaiting(QList<LocalServer> result)
    {
        for (const int scan : std::as_const(m_waitingScans))
            m_outcomes.insert(scan, Outcome{result, {}});
        if (!m_waitingScans.isEmpty())
            Q_EMIT answered();
    }
    template<typename E>
    void fail(int scan, E thrown)
    {
        m_outcomes.insert(scan, Outcome{{}, std::make_exception_ptr(std::move(thrown))});
        Q_EMIT answered();
    }

    QCoro::Task<QList<LocalServer>> detectServers() override
    {
        const int scan = ++m_started;
        Q_EMIT started(scan);
        if (!hold)
            return answerNow(servers, error);
        return answerLater(QPointer<FakeDetector>(this), scan);
    }

Q_SIGNALS:
    void started(int scan);
    void answered();

private:
    struct Outcome
    {
        QList<LocalServer> servers;
        std::exception_ptr error;
    };

    static QCoro::Task<QList<LocalServer>> answerNow(QList<LocalServer> servers, std::exception_ptr error)
    {
        if (error)
            std::rethrow_exception(error);
        co_return servers;
    }

    static QCoro::Task<QList<LocalServer>> answerLater(QPointer<FakeDetector> self, int scan)
    {
        ++self->m_waiting;
        self->m_waitingScans.insert(scan);
        while (self && !self->m_outcomes.contains(scan)) {
            auto wake = qCoro(self.data(), &FakeDetector::answered);
            co_await wake;
        }
        if (!self)
            throw std::runtime_error("the fake detector went away during a scan");
        --self->m_waiting;
        self->m_waitingScans.remove(scan);
        const Outcome outcome = self->m_outcomes.take(scan);
        if (outcome.error)
            std::rethrow_exception(outcome.error);
        co_return outcome.servers;
    }

    int m_started = 0;
    int m_waiting = 0;
    QSet<int> m_waitingScans;
    QHash<int, Outcome> m_outcomes;
};
