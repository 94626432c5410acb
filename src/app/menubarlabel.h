#pragma once

#include "control/refreshstate.h"

#include <QString>

// What the status item shows for the store's refresh state and running-server count.
struct MenuBarLabel
{
    // The symbol's name: "bolt.horizontal.fill", "bolt.horizontal" or "bolt.trianglebadge.exclamationmark.fill".
    QString symbol;
    // "!", the running count, or empty.
    QString text;
    // "Porthive — 3 active", "Porthive — error", "Porthive — stale data".
    QString accessibilityLabel;

    friend bool operator==(const MenuBarLabel&, const MenuBarLabel&) = default;

    // `runningServerCount` counts the servers that are not agent-browser sessions.
    static MenuBarLabel make(const RefreshState& state, int runningServerCount);
};
