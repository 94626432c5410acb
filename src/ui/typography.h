#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqml.h>

// Font sizes of the window are fractional logical pixels (13.5, 9.5, ...) while QML's font.pixelSize is an
// integer that would cut 13.5 to 13: views set font.pointSize from pointSize(), which asks for exactly that
// pixel size once Qt turns points into pixels with the screen's font resolution. (Qt 6.4's font engines
// rasterise whole pixel sizes, so the drawn size is the nearest whole one.)
class Typography : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString monospaceFamily READ monospaceFamily CONSTANT)

public:
    using QObject::QObject;

    Q_INVOKABLE static qreal pointSize(qreal pixels);
    // The resolution Qt converts font points with (the primary screen's logical DPI, rounded).
    static int fontDpi();
    static QString monospaceFamily();
};
