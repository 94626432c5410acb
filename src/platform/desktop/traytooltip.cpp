#include "platform/desktop/traytooltip.h"

#include "platform/desktop/traywindowplacement.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QScreen>

namespace {

const QMargins padding(6, 3, 6, 3);

} // namespace

TrayToolTip::TrayToolTip()
{
    setFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput);
}

void TrayToolTip::showText(const QString& text, const QRect& anchor)
{
    m_text = text;
    const QSize size = QFontMetrics(QGuiApplication::font()).size(Qt::TextSingleLine, text).grownBy(padding);
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(anchor.topLeft(), size);
    setGeometry(QRect(dropDownWindowPosition(anchor, size, available), size));
    show();
    update();
}

void TrayToolTip::paintEvent(QPaintEvent*)
{
    const QPalette palette = QGuiApplication::palette();
    QPainter painter(this);
    painter.fillRect(QRect(QPoint(0, 0), size()), palette.color(QPalette::ToolTipBase));
    QColor edge = palette.color(QPalette::ToolTipText);
    edge.setAlphaF(0.3f);
    painter.setPen(edge);
    painter.drawRect(QRect(QPoint(0, 0), size()).adjusted(0, 0, -1, -1));
    painter.setPen(palette.color(QPalette::ToolTipText));
    painter.setFont(QGuiApplication::font());
    painter.drawText(QRect(QPoint(0, 0), size()).marginsRemoved(padding), Qt::AlignCenter | Qt::TextSingleLine, m_text);
}
