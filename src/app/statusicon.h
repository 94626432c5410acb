#pragma once

#include "app/menubarlabel.h"

#include <QIcon>
#include <QImage>

class QPainter;

// The tray icon of a label: the bolt (filled while servers run, outlined when none do) or the warning symbol,
// with the label's text on a small badge. Drawn for whatever size and device pixel ratio the tray asks for.
namespace StatusIcon {

// The sizes the tray is offered first.
QList<QSize> standardSizes();

QIcon make(const MenuBarLabel& label);
// The icon drawn into a square of `size` logical pixels at `devicePixelRatio`.
QImage render(const MenuBarLabel& label, int size, qreal devicePixelRatio);
// The icon drawn on `painter` into the square of side `size` at the origin.
void paint(QPainter& painter, const MenuBarLabel& label, qreal size);
// The application's own icon (the menu entry's, the autostart entry's): the label while no server runs.
MenuBarLabel applicationLabel();

} // namespace StatusIcon
