#include "platform/traywindowplacement.h"

#include <algorithm>

QPoint dropDownWindowPosition(const QRect& anchor, const QSize& windowSize, const QRect& available)
{
    const int centreX = anchor.left() + anchor.width() / 2;
    const int centreY = anchor.top() + anchor.height() / 2;
    int x = centreX - windowSize.width() / 2;
    const bool above = centreY > available.top() + available.height() / 2;
    int y = above ? anchor.top() - windowSize.height() : anchor.top() + anchor.height();

    // Larger than the screen: the top-left corner stays on it.
    x = std::max(available.left(), std::min(x, available.left() + available.width() - windowSize.width()));
    y = std::max(available.top(), std::min(y, available.top() + available.height() - windowSize.height()));
    return {x, y};
}
