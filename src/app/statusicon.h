#pragma once

#include "app/menubarlabel.h"

#include <QIcon>
#include <QImage>

// The tray icon of a label: the bolt (filled while servers run, outlined when none do) or the warning symbol,
// with the label's text on a small badge. Drawn for whatever size and device pixel ratio the tray asks for.
namespace StatusIcon {

// The sizes the tray is offered first.
QList<QSize> standardSizes();

QIcon make(const MenuBarLabel& label);
// The icon drawn into a square of `size` logical pixels at `devicePixelRatio`.
QImage render(const MenuBarLabel& label, int size, qreal devicePixelRatio);

} // namespace StatusIcon
