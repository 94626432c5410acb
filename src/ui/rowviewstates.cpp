#include "rowviewstates.h"

#include <algorithm>

bool RowViewStates::setConfirming(const QString& key, bool confirming)
{
    State& state = m_states[key];
    if (state.confirming == confirming)
        return false;
    state.confirming = confirming;
    state.press.swapped(m_guardInterval);
    return true;
}

bool RowViewStates::setGuardInterval(std::chrono::milliseconds interval)
{
    interval = std::max(interval, std::chrono::milliseconds::zero());
    if (interval == m_guardInterval)
        return false;
    m_guardInterval = interval;
    return true;
}

bool RowViewStates::setGuardDistance(int pixels)
{
    pixels = std::max(0, pixels);
    if (pixels == m_guardDistance)
        return false;
    m_guardDistance = pixels;
    return true;
}
