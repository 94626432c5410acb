#pragma once

#include "platform/system/clock.h"

// A clock that stands still until a test moves it.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC))
        : m_now(std::move(start))
    {}

    QDateTime now() const override { return m_now; }
    void set(const QDateTime& now) { m_now = now; }
    void advance(qint64 msecs) { m_now = m_now.addMSecs(msecs); }

private:
    QDateTime m_now;
};
