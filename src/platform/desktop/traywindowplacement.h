#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Where the window that drops down from the tray icon goes: centred under `anchor` (the icon, or the pointer
// where the tray gives no icon geometry), above it when the anchor is in the lower half of `available`, and
// kept inside `available` (the screen without its panels).
QPoint dropDownWindowPosition(const QRect& anchor, const QSize& windowSize, const QRect& available);

// A screen as the application lays it out: its geometry in global coordinates and its scale.
struct ScreenScale
{
    QRect geometry;
    qreal devicePixelRatio = 1.0;
};

// A rectangle in the display's own pixels (the X server's, or what a tray host reports) in the application's
// global coordinates: each screen keeps its top-left corner and scales what lies on it, so a rectangle is placed
// by the screen under its top-left corner (the first screen where it is on none). At least 1 x 1.
QRect logicalScreenRect(const QRect& native, const QList<ScreenScale>& screens);
// The same with the application's screens.
QRect logicalScreenRect(const QRect& native);
