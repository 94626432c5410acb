#pragma once

#include <QColor>
#include <QList>
#include <QQuickPaintedItem>
#include <QRectF>
#include <QtQml/qqml.h>

// The backdrop's faint grid: 1-point squares every 18 points, starting 9 points in from the top left.
class DotGrid : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    static constexpr qreal origin = 9;
    static constexpr qreal pitch = 18;
    static constexpr qreal side = 1;

    explicit DotGrid(QQuickItem* parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor& color);

    // The squares a canvas of `size` holds: every (x, y) of 9, 27, 45, ... that lies below the width and
    // the height.
    static QList<QRectF> squares(const QSizeF& size);

    void paint(QPainter* painter) override;

Q_SIGNALS:
    void colorChanged();

private:
    QColor m_color;
};
