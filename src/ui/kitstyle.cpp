#include "kitstyle.h"

#include <QVariantMap>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace KitLooks {

QColor amber()
{
    return QColor::fromRgbF(1.0f, 0.78f, 0.22f);
}

QColor green()
{
    return QColor::fromRgbF(0.27f, 0.83f, 0.46f);
}

QColor orange()
{
    return QColor::fromRgbF(1.0f, 0.66f, 0.2f);
}

QColor red()
{
    return QColor::fromRgbF(1.0f, 0.38f, 0.36f);
}

QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

ControlColors iconButton(const IconButtonState& s)
{
    const bool strong = s.prominent || s.hovering;
    const QColor destructiveRed = red();
    ControlColors colors;

    if (s.foregroundOverride)
        colors.foreground = *s.foregroundOverride;
    else if (s.loading || s.spinning)
        colors.foreground = withOpacity(s.ink, 0.85);
    else if (s.destructive)
        colors.foreground = strong ? destructiveRed : withOpacity(s.ink, 0.6);
    else if (s.tint)
        colors.foreground = strong ? *s.tint : withOpacity(*s.tint, 0.7);
    else
        colors.foreground = withOpacity(s.ink, strong ? 0.95 : 0.62);

    if (!s.hovering)
        colors.fill = Qt::transparent;
    else if (s.destructive)
        colors.fill = withOpacity(destructiveRed, 0.12);
    else
        colors.fill = withOpacity(s.tint.value_or(s.ink), 0.1);

    if (s.hovering) {
        if (s.destructive)
            colors.border = withOpacity(destructiveRed, 0.5);
        else if (s.tint)
            colors.border = withOpacity(*s.tint, 0.5);
        else
            colors.border = withOpacity(s.ink, 0.16);
    } else {
        colors.border = s.prominent ? withOpacity(s.ink, 0.08) : QColor(Qt::transparent);
    }
    return colors;
}

ControlColors actionSegment(const ActionSegmentState& s)
{
    const QColor destructiveRed = red();
    ControlColors colors;
    if (!s.enabled)
        colors.foreground = withOpacity(s.ink, 0.3);
    else if (s.loading)
        colors.foreground = withOpacity(s.ink, 0.85);
    else if (s.destructive)
        colors.foreground = s.hovering ? destructiveRed : withOpacity(s.ink, 0.7);
    else if (!s.tint)
        colors.foreground = withOpacity(s.ink, s.hovering ? 1.0 : 0.72);
    else
        colors.foreground = s.hovering ? *s.tint : withOpacity(*s.tint, 0.8);

    if (s.hovering && s.enabled)
        colors.fill = s.destructive ? withOpacity(destructiveRed, 0.14) : withOpacity(s.tint.value_or(s.ink), 0.09);
    else
        colors.fill = Qt::transparent;
    colors.border = Qt::transparent;
    return colors;
}

ControlColors confirmSegment(const ConfirmSegmentState& s)
{
    ControlColors colors;
    if (s.color) {
        colors.foreground = s.hovering ? *s.color : withOpacity(*s.color, 0.85);
        colors.fill = s.hovering ? withOpacity(*s.color, 0.14) : QColor(Qt::transparent);
    } else {
        colors.foreground = withOpacity(s.ink, s.hovering ? 0.95 : 0.7);
        colors.fill = s.hovering ? withOpacity(s.ink, 0.06) : QColor(Qt::transparent);
    }
    colors.border = Qt::transparent;
    return colors;
}

QColor httpTagColor(std::optional<int> status, bool paused, const QColor& secondary)
{
    if (paused)
        return orange();
    if (!status)
        return secondary;
    if (*status >= 200 && *status <= 299)
        return green();
    if (*status >= 300 && *status <= 499)
        return orange();
    return red();
}

QString httpTagText(std::optional<int> status, bool paused)
{
    if (paused)
        return u"paused"_s;
    if (!status)
        return u"no http"_s;
    return QString::number(*status);
}

bool httpTagDotActive(std::optional<int> status, bool paused)
{
    return !paused && status && *status >= 200 && *status <= 299;
}

QColor runtimeAccent(const QString& kind)
{
    if (kind == u"agentBrowser"_s)
        return QColor::fromRgbF(0.36f, 0.62f, 1.0f);
    if (kind == u"next"_s)
        return QColor::fromRgbF(0.82f, 0.84f, 0.90f);
    if (kind == u"vite"_s)
        return QColor::fromRgbF(0.67f, 0.45f, 1.0f);
    if (kind == u"bun"_s)
        return QColor::fromRgbF(1.0f, 0.58f, 0.78f);
    return green();
}

QColor legibleOn(const QColor& color, const QColor& background, const QColor& ink)
{
    // Relative luminance of an sRGB colour.
    const auto luminance = [](const QColor& c) {
        const auto linear = [](float channel) {
            return channel <= 0.04045f ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double a = luminance(color);
    const double b = luminance(background);
    const double ratio = (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
    return ratio < minimumContrast ? ink : color;
}

BadgeGlyph runtimeBadgeGlyph(const QString& kind, qreal side)
{
    if (kind == u"agentBrowser"_s)
        return {u"globe"_s, {}, side * 0.46, false, false};
    if (kind == u"next"_s)
        return {{}, u"N"_s, side * 0.46, true, true};
    if (kind == u"vite"_s)
        return {u"bolt.fill"_s, {}, side * 0.42, false, false};
    if (kind == u"bun"_s)
        return {{}, u"B"_s, side * 0.46, true, true};
    return {u"hexagon.fill"_s, {}, side * 0.42, false, false};
}

} // namespace KitLooks

namespace {

QVariantMap colorMap(const KitLooks::ControlColors& colors, bool withBorder)
{
    QVariantMap map{{u"foreground"_s, colors.foreground}, {u"fill"_s, colors.fill}};
    if (withBorder)
        map.insert(u"border"_s, colors.border);
    return map;
}

} // namespace

std::optional<QColor> KitStyle::optionalColor(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    const QColor color = value.value<QColor>();
    if (!color.isValid())
        return std::nullopt;
    return color;
}

std::optional<int> KitStyle::optionalStatus(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    bool ok = false;
    const int status = value.toInt(&ok);
    if (!ok)
        return std::nullopt;
    return status;
}

QVariantMap KitStyle::iconButton(const QColor& ink, int role, const QVariant& tint, const QVariant& foregroundOverride,
                                 bool prominent, bool loading, bool spinning, bool hovering)
{
    return colorMap(KitLooks::iconButton({ink, role == ButtonRole::Destructive, optionalColor(tint),
                                          optionalColor(foregroundOverride), prominent, loading, spinning, hovering}),
                    true);
}

QVariantMap KitStyle::actionSegment(const QColor& ink, bool enabled, bool loading, int role, const QVariant& tint,
                                    bool hovering)
{
    return colorMap(KitLooks::actionSegment(
                        {ink, enabled, loading, role == ButtonRole::Destructive, optionalColor(tint), hovering}),
                    false);
}

QVariantMap KitStyle::confirmSegment(const QColor& ink, const QVariant& color, bool hovering)
{
    return colorMap(KitLooks::confirmSegment({ink, optionalColor(color), hovering}), false);
}

QVariantMap KitStyle::httpTag(const QVariant& status, bool paused, const QColor& secondary)
{
    const std::optional<int> code = optionalStatus(status);
    return {{u"color"_s, KitLooks::httpTagColor(code, paused, secondary)},
            {u"text"_s, KitLooks::httpTagText(code, paused)},
            {u"dotActive"_s, KitLooks::httpTagDotActive(code, paused)}};
}

QVariantMap KitStyle::runtimeBadgeGlyph(const QString& kind, qreal side)
{
    const KitLooks::BadgeGlyph glyph = KitLooks::runtimeBadgeGlyph(kind, side);
    return {{u"symbol"_s, glyph.symbol},
            {u"text"_s, glyph.text},
            {u"size"_s, glyph.size},
            {u"bold"_s, glyph.bold},
            {u"monospaced"_s, glyph.monospaced}};
}
