#include "app/statusicon.h"

#include "symbols.h"

#include <QFontDatabase>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

using namespace Qt::StringLiterals;

namespace {

const QColor boltColor = QColor::fromRgbF(1.0f, 0.78f, 0.22f);
const QColor warningColor = QColor::fromRgbF(1.0f, 0.38f, 0.36f);
const QColor edgeColor = QColor::fromRgbF(0.0f, 0.0f, 0.0f, 0.55f);
const QColor badgeColor = QColor::fromRgbF(0.1f, 0.1f, 0.11f, 0.92f);
const QColor badgeInk = Qt::white;

// The symbol's outline, with the window's glyph for the name turned as the window turns it, scaled to fit `box`
// and centred in it.
QPainterPath symbolPath(const QString& name, const QRectF& box)
{
    QFont font(SymbolTable::fontFamily());
    font.setPixelSize(96);
    QPainterPath glyph;
    glyph.addText(0, 0, font, SymbolTable::glyph(name).value_or(QString()));
    const QPainterPath path = QTransform().rotate(SymbolTable::rotation(name)).map(glyph);
    const QRectF bounds = path.boundingRect();
    if (bounds.isEmpty())
        return path;
    const qreal scale = std::min(box.width() / bounds.width(), box.height() / bounds.height());
    QTransform transform;
    transform.translate(box.center().x(), box.center().y());
    transform.scale(scale, scale);
    transform.translate(-bounds.center().x(), -bounds.center().y());
    return transform.map(path);
}

void paintLabel(QPainter& painter, const MenuBarLabel& label, qreal size)
{
    painter.setRenderHint(QPainter::Antialiasing);
    const bool failed = label.symbol.startsWith(u"bolt.trianglebadge"_s);
    const bool filled = label.symbol.endsWith(u".fill"_s);
    const bool hasText = !label.text.isEmpty();
    const qreal stroke = std::max<qreal>(1.0, size / 16.0);

    // With a badge in the lower right, a lying symbol spans the top of the square and an upright one its left.
    const bool lying = SymbolTable::rotation(label.symbol) % 180 != 0;
    QRectF symbolBox(0, 0, size, size);
    if (hasText)
        symbolBox = lying ? QRectF(0, 0, size, size * 0.5) : QRectF(0, 0, size * 0.6, size);
    const QColor ink = failed ? warningColor : boltColor;
    // A thin dark edge keeps a filled light symbol visible on light panels; an outline is drawn in the ink.
    const QPen pen = filled ? QPen(edgeColor, stroke * 0.75, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin)
                            : QPen(ink, stroke * 1.25, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    // Inset by half the pen, so the line stays inside the square.
    const qreal half = pen.widthF() / 2;
    const QPainterPath symbol = symbolPath(label.symbol, symbolBox.adjusted(half, half, -half, -half));
    painter.setPen(pen);
    painter.setBrush(filled ? QBrush(ink) : QBrush(Qt::NoBrush));
    painter.drawPath(symbol);

    if (!hasText)
        return;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setBold(true);
    const qreal badgeHeight = size * 0.62;
    const qreal padding = badgeHeight * 0.14;
    // Long counts get a smaller font, so the badge stays inside the square and two digits leave the bolt seen.
    const qreal widest = label.text.size() <= 2 ? size * 0.78 : size;
    qreal fontSize = badgeHeight * 0.86;
    font.setPixelSize(std::max(1, qRound(fontSize)));
    while (fontSize > 1 && QFontMetricsF(font).horizontalAdvance(label.text) + 2 * padding > widest) {
        fontSize -= 0.5;
        font.setPixelSize(std::max(1, qRound(fontSize)));
    }
    const qreal badgeWidth =
        std::min(size, std::max(badgeHeight * 0.8, QFontMetricsF(font).horizontalAdvance(label.text) + 2 * padding));
    const QRectF badge(size - badgeWidth, size - badgeHeight, badgeWidth, badgeHeight);
    const qreal radius = badgeHeight * 0.28;

    // A gap around the badge separates it from the symbol on any background.
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(badge.adjusted(-stroke, -stroke, stroke, stroke), radius + stroke, radius + stroke);
    painter.restore();

    painter.setPen(Qt::NoPen);
    painter.setBrush(badgeColor);
    painter.drawRoundedRect(badge, radius, radius);
    painter.setFont(font);
    painter.setPen(failed ? warningColor : badgeInk);
    painter.drawText(badge, Qt::AlignCenter, label.text);
}

class StatusIconEngine final : public QIconEngine
{
public:
    explicit StatusIconEngine(MenuBarLabel label)
        : m_label(std::move(label))
    {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(rect.width(), rect.height());
        painter->save();
        painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
        paintLabel(*painter, m_label, side);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // QIcon asks with the size in device pixels.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode, QIcon::State, qreal scale) override
    {
        const qreal ratio = scale > 0 ? scale : 1.0;
        QImage image = StatusIcon::render(m_label, std::min(size.width(), size.height()), 1.0);
        image.setDevicePixelRatio(ratio);
        return QPixmap::fromImage(std::move(image));
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return StatusIcon::standardSizes(); }
    QIconEngine* clone() const override { return new StatusIconEngine(m_label); }
    QString key() const override { return u"PorthiveStatusIcon"_s; }

private:
    MenuBarLabel m_label;
};

} // namespace

namespace StatusIcon {

QList<QSize> standardSizes()
{
    return {QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48), QSize(64, 64)};
}

QIcon make(const MenuBarLabel& label)
{
    return QIcon(new StatusIconEngine(label));
}

QImage render(const MenuBarLabel& label, int size, qreal devicePixelRatio)
{
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const int side = std::max(1, qRound(size * ratio));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    paintLabel(painter, label, side / ratio);
    painter.end();
    return image;
}

void paint(QPainter& painter, const MenuBarLabel& label, qreal size)
{
    painter.save();
    paintLabel(painter, label, size);
    painter.restore();
}

MenuBarLabel applicationLabel()
{
    return MenuBarLabel::make(RefreshState::idle(), 0);
}

} // namespace StatusIcon
