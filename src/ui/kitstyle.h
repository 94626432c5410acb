#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QtQml/qqml.h>

#include <optional>

// The role of a button; only the destructive role changes how a control looks.
namespace ButtonRole {
Q_NAMESPACE
QML_ELEMENT
enum Role
{
    None,
    Destructive
};
Q_ENUM_NS(Role)
} // namespace ButtonRole

// How the window's controls and decorations colour themselves, as pure functions of their state. `ink` is
// the primary text colour of the current appearance; "ink at 0.6" is that colour at 60 % of its opacity.
namespace KitLooks {

// The window's fixed colours (sRGB).
QColor amber();
QColor green();
QColor orange();
QColor red();

QColor withOpacity(QColor color, qreal opacity);

struct IconButtonState
{
    QColor ink;
    bool destructive = false;
    std::optional<QColor> tint;
    std::optional<QColor> foregroundOverride;
    bool prominent = false;
    bool loading = false;
    bool spinning = false;
    bool hovering = false;
};

struct ActionSegmentState
{
    QColor ink;
    bool enabled = true;
    bool loading = false;
    bool destructive = false;
    std::optional<QColor> tint;
    bool hovering = false;
};

struct ConfirmSegmentState
{
    QColor ink;
    std::optional<QColor> color;
    bool hovering = false;
};

// Glyph, fill and border (a clear colour where the control draws none).
struct ControlColors
{
    QColor foreground;
    QColor fill;
    QColor border;
    friend bool operator==(const ControlColors&, const ControlColors&) = default;
};

ControlColors iconButton(const IconButtonState& state);
ControlColors actionSegment(const ActionSegmentState& state);
// Text and fill; no border.
ControlColors confirmSegment(const ConfirmSegmentState& state);

// The HTTP status tag of a running server: its colour, text and whether its dot glows.
QColor httpTagColor(std::optional<int> status, bool paused, const QColor& secondary);
QString httpTagText(std::optional<int> status, bool paused);
bool httpTagDotActive(std::optional<int> status, bool paused);

// The accent of a runtime kind by its raw value ("next", "vite", ...); an unknown kind gets the node green.
QColor runtimeAccent(const QString& kind);

// `color`, or `ink` where `color` would nearly vanish on `background` (the near-white next accent on a light
// window): by the contrast ratio of their luminances, below minimumContrast.
constexpr double minimumContrast = 1.3;
QColor legibleOn(const QColor& color, const QColor& background, const QColor& ink);

// What a runtime badge of `side` points draws: a symbol or a letter, at `size` points.
struct BadgeGlyph
{
    QString symbol;
    QString text;
    qreal size = 0;
    bool bold = false;
    bool monospaced = false;
    friend bool operator==(const BadgeGlyph&, const BadgeGlyph&) = default;
};
BadgeGlyph runtimeBadgeGlyph(const QString& kind, qreal side);

} // namespace KitLooks

// The rules above for QML. Optional colours arrive as `var` values: null or undefined means none.
class KitStyle : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QColor amber READ amber CONSTANT)
    Q_PROPERTY(QColor green READ green CONSTANT)
    Q_PROPERTY(QColor orange READ orange CONSTANT)
    Q_PROPERTY(QColor red READ red CONSTANT)

public:
    using QObject::QObject;

    static QColor amber() { return KitLooks::amber(); }
    static QColor green() { return KitLooks::green(); }
    static QColor orange() { return KitLooks::orange(); }
    static QColor red() { return KitLooks::red(); }

    // {foreground, fill, border}
    Q_INVOKABLE static QVariantMap iconButton(const QColor& ink, int role, const QVariant& tint,
                                              const QVariant& foregroundOverride, bool prominent, bool loading,
                                              bool spinning, bool hovering);
    // {foreground, fill}
    Q_INVOKABLE static QVariantMap actionSegment(const QColor& ink, bool enabled, bool loading, int role,
                                                 const QVariant& tint, bool hovering);
    // {foreground, fill}
    Q_INVOKABLE static QVariantMap confirmSegment(const QColor& ink, const QVariant& color, bool hovering);
    // {color, text, dotActive}; `status` is an HTTP status number or null.
    Q_INVOKABLE static QVariantMap httpTag(const QVariant& status, bool paused, const QColor& secondary);
    Q_INVOKABLE static QColor runtimeAccent(const QString& kind) { return KitLooks::runtimeAccent(kind); }
    Q_INVOKABLE static QColor legibleOn(const QColor& color, const QColor& background, const QColor& ink)
    {
        return KitLooks::legibleOn(color, background, ink);
    }
    // {symbol, text, size, bold, monospaced}
    Q_INVOKABLE static QVariantMap runtimeBadgeGlyph(const QString& kind, qreal side);

    static std::optional<QColor> optionalColor(const QVariant& value);
    static std::optional<int> optionalStatus(const QVariant& value);
};
