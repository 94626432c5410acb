#pragma once

#include "swappressguard.h"

#include <QHash>
#include <QPointF>
#include <QString>

#include <chrono>

// What a row's view must keep for as long as its key is listed, by key: the list makes its delegates lazily and
// lets them go when they scroll out, so a delegate cannot hold that its row has appeared (it fades in once), its
// open confirmation or the guard on presses after a swap. The list model asks only for listed keys and drops a
// key's state when its row goes.
class RowViewStates
{
public:
    bool hasAppeared(const QString& key) const { return m_states.value(key).appeared; }
    void markAppeared(const QString& key) { m_states[key].appeared = true; }
    bool isConfirming(const QString& key) const { return m_states.value(key).confirming; }
    // False when the row was already so. A change swaps the strip and the confirmation: the press guard holds.
    bool setConfirming(const QString& key, bool confirming);
    bool acceptPress(const QString& key, QPointF point) { return m_states[key].press.accept(point, m_guardDistance); }
    void remove(const QString& key) { m_states.remove(key); }

    std::chrono::milliseconds guardInterval() const { return m_guardInterval; }
    // False when unchanged; below zero counts as zero.
    bool setGuardInterval(std::chrono::milliseconds interval);
    int guardDistance() const { return m_guardDistance; }
    bool setGuardDistance(int pixels);

private:
    struct State
    {
        bool appeared = false;
        bool confirming = false;
        SwapPressGuard press;
    };
    // Only listed keys.
    QHash<QString, State> m_states;
    // Qt's default double-click interval and distance.
    std::chrono::milliseconds m_guardInterval{400};
    int m_guardDistance = 5;
};
