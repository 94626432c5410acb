#include "swappressguard.h"

#include <cmath>

void SwapPressGuard::swapped(std::chrono::milliseconds interval)
{
    m_guard.setRemainingTime(interval, Qt::PreciseTimer);
}

bool SwapPressGuard::accept(QPointF point, int distance)
{
    const bool near = m_lastPress && std::abs(point.x() - m_lastPress->x()) <= distance &&
                      std::abs(point.y() - m_lastPress->y()) <= distance;
    if (near && !m_guard.hasExpired())
        return false;
    m_lastPress = point;
    return true;
}
