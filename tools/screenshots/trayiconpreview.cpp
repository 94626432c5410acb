#include "trayiconpreview.h"

#include "app/menubarlabel.h"
#include "app/statusicon.h"

#include <QPainter>

using namespace Qt::StringLiterals;

TrayIconPreview::TrayIconPreview(QQuickItem* parent)
    : QQuickPaintedItem(parent)
{
    connect(this, &TrayIconPreview::changed, this, &TrayIconPreview::resize);
    connect(this, &TrayIconPreview::changed, this, [this] { update(); });
    resize();
}

void TrayIconPreview::resize()
{
    const qreal side = std::ceil(m_iconSize * m_ratio);
    setImplicitSize(side, side);
}

void TrayIconPreview::paint(QPainter* painter)
{
    RefreshState state = RefreshState::idle();
    if (m_refreshState == u"refreshing"_s)
        state = RefreshState::refreshing();
    else if (m_refreshState == u"stale"_s)
        state = RefreshState::stale(u"scan failed"_s);
    else if (m_refreshState == u"failed"_s)
        state = RefreshState::failed(u"scan failed"_s);
    QImage image = StatusIcon::render(MenuBarLabel::make(state, m_runningCount), m_iconSize, m_ratio);
    // One image pixel to one screen pixel.
    image.setDevicePixelRatio(1);
    painter->drawImage(QPointF(0, 0), image);
}
