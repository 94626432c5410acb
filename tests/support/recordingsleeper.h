#pragma once

#include "control/sleeper.h"

#include <QCoroSignal>
#include <QCoroTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <stdexcept>

// Records every delay asked for instead of waiting it. A sleep returns at the next turn of the event loop, or,
// while `hold` is set, when the test calls release(); the next `failures` sleeps fail at once instead.
class RecordingSleeper final : public QObject, public Sleeper
{
    Q_OBJECT

public:
    QList<std::chrono::milliseconds> requests;
    bool hold = false;
    int failures = 0;
    // Sleeps that have returned.
    int finished = 0;

    QCoro::Task<> sleep(std::chrono::milliseconds duration) override
    {
        requests.append(duration);
        if (failures > 0) {
            --failures;
            return fail();
        }
        return waitFor(QPointer<RecordingSleeper>(this), hold, m_releases);
    }

    // Ends every held sleep that is waiting now.
    void release()
    {
        ++m_releases;
        Q_EMIT released();
    }

Q_SIGNALS:
    void released();

private:
    static QCoro::Task<> fail()
    {
        throw std::runtime_error("the sleep was cut short");
        co_return;
    }

    static QCoro::Task<> waitFor(QPointer<RecordingSleeper> self, bool held, int releasesBefore)
    {
        if (!held) {
            QTimer turn;
            turn.setSingleShot(true);
            turn.start(0);
            co_await turn;
        }
        while (held && self && self->m_releases == releasesBefore) {
            auto wake = qCoro(self.data(), &RecordingSleeper::released);
            co_await wake;
        }
        if (self)
            ++self->finished;
    }

    int m_releases = 0;
};
