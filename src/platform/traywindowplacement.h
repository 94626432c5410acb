#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where the window that drops down from the tray icon goes: centred under `anchor` (the icon, or the pointer
// where the tray gives no icon geometry), above it when the anchor is in the lower half of `available`, and
// kept inside `available` (the screen without its panels).
QPoint dropDownWindowPosition(const QRect& anchor, const QSize& windowSize, const QRect& available);
