#include "typography.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

qreal Typography::pointSize(qreal pixels)
{
    return pixels * 72.0 / fontDpi();
}

int Typography::fontDpi()
{
    // Mirrors how QFont resolves a point size: 96 when the application asks for it, else the primary
    // screen's logical resolution, else 100 before a screen exists.
    if (QCoreApplication::testAttribute(Qt::AA_Use96Dpi))
        return 96;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return qRound(screen->logicalDotsPerInchY());
    return 100;
}

QString Typography::monospaceFamily()
{
    static const QString family = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    return family;
}
