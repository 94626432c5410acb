#include "platform/desktop/traywindowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtMath>

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

QRect logicalScreenRect(const QRect& native, const QList<ScreenScale>& screens)
{
    const auto nativeGeometry = [](const ScreenScale& screen) {
        return QRect(screen.geometry.topLeft(), screen.geometry.size() * screen.devicePixelRatio);
    };
    const ScreenScale* under = screens.isEmpty() ? nullptr : &screens.constFirst();
    for (const ScreenScale& screen : screens) {
        if (nativeGeometry(screen).contains(native.topLeft())) {
            under = &screen;
            break;
        }
    }
    if (!under || under->devicePixelRatio <= 0)
        return QRect(native.topLeft(), native.size().expandedTo(QSize(1, 1)));
    const qreal ratio = under->devicePixelRatio;
    const QPoint origin = under->geometry.topLeft();
    const QPointF topLeft = QPointF(origin) + QPointF(native.topLeft() - origin) / ratio;
    const QSize size(qCeil(native.width() / ratio), qCeil(native.height() / ratio));
    return QRect(topLeft.toPoint(), size.expandedTo(QSize(1, 1)));
}

QRect logicalScreenRect(const QRect& native)
{
    QList<ScreenScale> scales;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const QScreen* screen : screens)
        scales.append({screen->geometry(), screen->devicePixelRatio()});
    return logicalScreenRect(native, scales);
}
