#include "dotgrid.h"

#include <QPainter>

DotGrid::DotGrid(QQuickItem* parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
    // The grid is decoration only; clicks go to whatever lies on top.
    setAcceptedMouseButtons(Qt::NoButton);
}

void DotGrid::setColor(const QColor& color)
{
    if (m_color == color)
        return;
    m_color = color;
    Q_EMIT colorChanged();
    update();
}

QList<QRectF> DotGrid::squares(const QSizeF& size)
{
    QList<QRectF> result;
    for (qreal y = origin; y < size.height(); y += pitch) {
        for (qreal x = origin; x < size.width(); x += pitch)
            result.append(QRectF(x, y, side, side));
    }
    return result;
}

void DotGrid::paint(QPainter* painter)
{
    painter->setPen(Qt::NoPen);
    painter->setBrush(m_color);
    painter->setRenderHint(QPainter::Antialiasing);
    for (const QRectF& square : squares(size()))
        painter->drawRect(square);
}
