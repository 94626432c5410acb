#pragma once

#include <QDeadlineTimer>
#include <QPointF>

#include <chrono>
#include <optional>

// A row's action strip and its confirmation swap places under the pointer, so the second press of a double click
// would land on what took the first one's place (a Start under Cancel, the confirm under the kill button). This
// tells that second half from a press of its own, for one row.
class SwapPressGuard
{
public:
    // The strip and the confirmation swapped places just now; the guard holds for `interval`.
    void swapped(std::chrono::milliseconds interval);
    // Whether a press at `point` goes through: not when it is within `distance` of the press before, on each axis
    // apart as Qt counts a double click, while the guard holds. Remembered when it goes through.
    bool accept(QPointF point, int distance);

private:
    // Expired unless the confirmation swapped a moment ago.
    QDeadlineTimer m_guard;
    std::optional<QPointF> m_lastPress;
};
