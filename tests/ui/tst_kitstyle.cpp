#include "kitstyle.h"
#include "support/testhome.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QColor ink(0x1d, 0x1d, 0x1f);
const QColor red = QColor::fromRgbF(1.0f, 0.38f, 0.36f);
const QColor green = QColor::fromRgbF(0.27f, 0.83f, 0.46f);
const QColor orange = QColor::fromRgbF(1.0f, 0.66f, 0.2f);
const QColor blue = QColor::fromRgbF(0.36f, 0.62f, 1.0f);
const QColor clear(Qt::transparent);

QColor at(QColor color, qreal opacity)
{
    color.setAlphaF(opacity);
    return color;
}

// An invalid colour in a data row stands for "none".
std::optional<QColor> optional(const QColor& color)
{
    return color.isValid() ? std::optional<QColor>(color) : std::nullopt;
}

} // namespace

class TestKitStyle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void iconButton_data();
    void iconButton();
    void actionSegment_data();
    void actionSegment();
    void confirmSegment_data();
    void confirmSegment();
    void httpTag_data();
    void httpTag();
    void runtimeBadgeGlyph_data();
    void runtimeBadgeGlyph();
    void accents();
    void legibleOn_data();
    void legibleOn();
    void qmlArguments();
};

void TestKitStyle::iconButton_data()
{
    QTest::addColumn<bool>("destructive");
    QTest::addColumn<QColor>("tint");
    QTest::addColumn<QColor>("override");
    QTest::addColumn<bool>("prominent");
    QTest::addColumn<bool>("loading");
    QTest::addColumn<bool>("spinning");
    QTest::addColumn<bool>("hovering");
    QTest::addColumn<QColor>("foreground");
    QTest::addColumn<QColor>("fill");
    QTest::addColumn<QColor>("border");

    const QColor none;
    const QColor muted = at(ink, 0.5);
    // destructive, tint, override, prominent, loading, spinning, hovering -> F, B, S
    QTest::newRow("plain at rest: no fill, no border")
        << false << none << none << false << false << false << false << at(ink, 0.62) << clear << clear;
    QTest::newRow("prominent at rest: faint border, no fill")
        << false << none << none << true << false << false << false << at(ink, 0.95) << clear << at(ink, 0.08);
    QTest::newRow("plain hovered") << false << none << none << false << false << false << true << at(ink, 0.95)
                                   << at(ink, 0.1) << at(ink, 0.16);
    QTest::newRow("loading") << false << none << none << true << true << false << false << at(ink, 0.85) << clear
                             << at(ink, 0.08);
    QTest::newRow("spinning") << false << none << none << false << false << true << false << at(ink, 0.85) << clear
                              << clear;
    QTest::newRow("override wins over loading")
        << false << none << muted << true << true << false << false << muted << clear << at(ink, 0.08);
    QTest::newRow("override wins over spinning, fill follows hover")
        << false << none << muted << false << false << true << true << muted << at(ink, 0.1) << at(ink, 0.16);
    QTest::newRow("override on a destructive button")
        << true << none << muted << true << false << false << true << muted << at(red, 0.12) << at(red, 0.5);
    QTest::newRow("destructive at rest") << true << none << none << false << false << false << false << at(ink, 0.6)
                                         << clear << clear;
    QTest::newRow("destructive prominent")
        << true << none << none << true << false << false << false << red << clear << at(ink, 0.08);
    QTest::newRow("destructive hovered") << true << none << none << false << false << false << true << red
                                         << at(red, 0.12) << at(red, 0.5);
    QTest::newRow("destructive loading: loading ink")
        << true << none << none << false << true << false << false << at(ink, 0.85) << clear << clear;
    QTest::newRow("tinted at rest") << false << green << none << false << false << false << false << at(green, 0.7)
                                    << clear << clear;
    QTest::newRow("tinted prominent") << false << green << none << true << false << false << false << green << clear
                                      << at(ink, 0.08);
    QTest::newRow("tinted hovered") << false << green << none << false << false << false << true << green
                                    << at(green, 0.1) << at(green, 0.5);
    QTest::newRow("destructive wins over tint")
        << true << green << none << false << false << false << true << red << at(red, 0.12) << at(red, 0.5);
}

void TestKitStyle::iconButton()
{
    QFETCH(bool, destructive);
    QFETCH(QColor, tint);
    QFETCH(QColor, override);
    QFETCH(bool, prominent);
    QFETCH(bool, loading);
    QFETCH(bool, spinning);
    QFETCH(bool, hovering);
    QFETCH(QColor, foreground);
    QFETCH(QColor, fill);
    QFETCH(QColor, border);

    const KitLooks::ControlColors colors = KitLooks::iconButton(
        {ink, destructive, optional(tint), optional(override), prominent, loading, spinning, hovering});
    QCOMPARE(colors.foreground, foreground);
    QCOMPARE(colors.fill, fill);
    QCOMPARE(colors.border, border);
}

void TestKitStyle::actionSegment_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("loading");
    QTest::addColumn<bool>("destructive");
    QTest::addColumn<QColor>("tint");
    QTest::addColumn<bool>("hovering");
    QTest::addColumn<QColor>("foreground");
    QTest::addColumn<QColor>("fill");

    const QColor none;
    // enabled, loading, destructive, tint, hovering -> F, B
    QTest::newRow("at rest") << true << false << false << none << false << at(ink, 0.72) << clear;
    QTest::newRow("hovered") << true << false << false << none << true << at(ink, 1.0) << at(ink, 0.09);
    QTest::newRow("disabled keeps faint ink and no fill even hovered")
        << false << false << false << none << true << at(ink, 0.3) << clear;
    QTest::newRow("disabled while loading") << false << true << false << green << true << at(ink, 0.3) << clear;
    QTest::newRow("loading") << true << true << false << none << false << at(ink, 0.85) << clear;
    QTest::newRow("loading hovered keeps the hover fill")
        << true << true << false << green << true << at(ink, 0.85) << at(green, 0.09);
    QTest::newRow("destructive at rest") << true << false << true << none << false << at(ink, 0.7) << clear;
    QTest::newRow("destructive hovered") << true << false << true << none << true << red << at(red, 0.14);
    QTest::newRow("tinted at rest") << true << false << false << green << false << at(green, 0.8) << clear;
    QTest::newRow("tinted hovered") << true << false << false << green << true << green << at(green, 0.09);
}

void TestKitStyle::actionSegment()
{
    QFETCH(bool, enabled);
    QFETCH(bool, loading);
    QFETCH(bool, destructive);
    QFETCH(QColor, tint);
    QFETCH(bool, hovering);
    QFETCH(QColor, foreground);
    QFETCH(QColor, fill);

    const KitLooks::ControlColors colors =
        KitLooks::actionSegment({ink, enabled, loading, destructive, optional(tint), hovering});
    QCOMPARE(colors.foreground, foreground);
    QCOMPARE(colors.fill, fill);
}

void TestKitStyle::confirmSegment_data()
{
    QTest::addColumn<QColor>("color");
    QTest::addColumn<bool>("hovering");
    QTest::addColumn<QColor>("text");
    QTest::addColumn<QColor>("fill");

    QTest::newRow("cancel at rest") << QColor() << false << at(ink, 0.7) << clear;
    QTest::newRow("cancel hovered") << QColor() << true << at(ink, 0.95) << at(ink, 0.06);
    QTest::newRow("kill at rest") << red << false << at(red, 0.85) << clear;
    QTest::newRow("kill hovered") << red << true << red << at(red, 0.14);
}

void TestKitStyle::confirmSegment()
{
    QFETCH(QColor, color);
    QFETCH(bool, hovering);
    QFETCH(QColor, text);
    QFETCH(QColor, fill);

    const KitLooks::ControlColors colors = KitLooks::confirmSegment({ink, optional(color), hovering});
    QCOMPARE(colors.foreground, text);
    QCOMPARE(colors.fill, fill);
}

void TestKitStyle::httpTag_data()
{
    QTest::addColumn<int>("status"); // -1: no HTTP answer
    QTest::addColumn<bool>("paused");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dotActive");

    const QColor secondary = at(ink, 0.55);
    QTest::newRow("200") << 200 << false << green << u"200"_s << true;
    QTest::newRow("299") << 299 << false << green << u"299"_s << true;
    QTest::newRow("302 is orange, dot off") << 302 << false << orange << u"302"_s << false;
    QTest::newRow("499") << 499 << false << orange << u"499"_s << false;
    QTest::newRow("500") << 500 << false << red << u"500"_s << false;
    QTest::newRow("199 is red") << 199 << false << red << u"199"_s << false;
    QTest::newRow("no http") << -1 << false << secondary << u"no http"_s << false;
    QTest::newRow("paused with 200") << 200 << true << orange << u"paused"_s << false;
    QTest::newRow("paused without http") << -1 << true << orange << u"paused"_s << false;
}

void TestKitStyle::httpTag()
{
    QFETCH(int, status);
    QFETCH(bool, paused);
    QFETCH(QColor, color);
    QFETCH(QString, text);
    QFETCH(bool, dotActive);

    const QColor secondary = at(ink, 0.55);
    const std::optional<int> code = status < 0 ? std::nullopt : std::optional<int>(status);
    QCOMPARE(KitLooks::httpTagColor(code, paused, secondary), color);
    QCOMPARE(KitLooks::httpTagText(code, paused), text);
    QCOMPARE(KitLooks::httpTagDotActive(code, paused), dotActive);

    // QML passes null for "no status".
    const QVariantMap look =
        KitStyle::httpTag(status < 0 ? QVariant::fromValue(nullptr) : QVariant(status), paused, secondary);
    QCOMPARE(look.value(u"color"_s).value<QColor>(), color);
    QCOMPARE(look.value(u"text"_s).toString(), text);
    QCOMPARE(look.value(u"dotActive"_s).toBool(), dotActive);
}

void TestKitStyle::runtimeBadgeGlyph_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qreal>("side");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qreal>("size");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("monospaced");

    QTest::newRow("next at 20 draws N at 9.2") << u"next"_s << 20.0 << QString() << u"N"_s << 9.2 << true << true;
    QTest::newRow("bun at 28") << u"bun"_s << 28.0 << QString() << u"B"_s << 12.88 << true << true;
    QTest::newRow("agent browser") << u"agentBrowser"_s << 20.0 << u"globe"_s << QString() << 9.2 << false << false;
    QTest::newRow("vite") << u"vite"_s << 20.0 << u"bolt.fill"_s << QString() << 8.4 << false << false;
    QTest::newRow("node at 28") << u"node"_s << 28.0 << u"hexagon.fill"_s << QString() << 11.76 << false << false;
}

void TestKitStyle::runtimeBadgeGlyph()
{
    QFETCH(QString, kind);
    QFETCH(qreal, side);
    QFETCH(QString, symbol);
    QFETCH(QString, text);
    QFETCH(qreal, size);
    QFETCH(bool, bold);
    QFETCH(bool, monospaced);

    const KitLooks::BadgeGlyph glyph = KitLooks::runtimeBadgeGlyph(kind, side);
    QCOMPARE(glyph.symbol, symbol);
    QCOMPARE(glyph.text, text);
    QCOMPARE(glyph.size, size);
    QCOMPARE(glyph.bold, bold);
    QCOMPARE(glyph.monospaced, monospaced);
}

void TestKitStyle::accents()
{
    QCOMPARE(KitLooks::runtimeAccent(u"agentBrowser"_s), blue);
    QCOMPARE(KitLooks::runtimeAccent(u"next"_s), QColor::fromRgbF(0.82f, 0.84f, 0.90f));
    QCOMPARE(KitLooks::runtimeAccent(u"vite"_s), QColor::fromRgbF(0.67f, 0.45f, 1.0f));
    QCOMPARE(KitLooks::runtimeAccent(u"node"_s), green);
    QCOMPARE(KitLooks::runtimeAccent(u"bun"_s), QColor::fromRgbF(1.0f, 0.58f, 0.78f));
    QCOMPARE(KitLooks::green(), green);
}

void TestKitStyle::legibleOn_data()
{
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<bool>("replaced");
    const QColor light = QColor::fromRgbF(0.937f, 0.937f, 0.937f);
    const QColor dark = QColor::fromRgbF(0.19f, 0.19f, 0.19f);
    for (const QString& kind : {u"agentBrowser"_s, u"next"_s, u"vite"_s, u"node"_s, u"bun"_s}) {
        const QByteArray name = kind.toUtf8();
        QTest::newRow(QByteArray(name + " on dark").constData()) << KitLooks::runtimeAccent(kind) << dark << false;
        // Only the near-white next accent vanishes on a light window.
        QTest::newRow(QByteArray(name + " on light").constData()) << KitLooks::runtimeAccent(kind) << light << (kind == u"next"_s);
    }
    // The marks' amber stays amber on either.
    QTest::newRow("amber on light") << KitLooks::amber() << light << false;
    QTest::newRow("amber on dark") << KitLooks::amber() << dark << false;
    QTest::newRow("the window's own colour") << light << light << true;
}

void TestKitStyle::legibleOn()
{
    QFETCH(QColor, color);
    QFETCH(QColor, background);
    QFETCH(bool, replaced);
    const QColor ink = QColor::fromRgbF(0.1f, 0.1f, 0.1f);
    QCOMPARE(KitLooks::legibleOn(color, background, ink), replaced ? ink : color);
}

// Optional colours and statuses arrive from QML as null, undefined or a value.
void TestKitStyle::qmlArguments()
{
    QCOMPARE(KitStyle::optionalColor(QVariant()), std::nullopt);
    QCOMPARE(KitStyle::optionalColor(QVariant::fromValue(nullptr)), std::nullopt);
    QCOMPARE(KitStyle::optionalColor(QVariant(green)), std::optional<QColor>(green));
    QCOMPARE(KitStyle::optionalStatus(QVariant(302.0)), std::optional<int>(302));
    QCOMPARE(KitStyle::optionalStatus(QVariant()), std::nullopt);

    const QVariantMap look = KitStyle::iconButton(ink, ButtonRole::Destructive, QVariant::fromValue(nullptr),
                                                  QVariant(), false, false, false, true);
    QCOMPARE(look.value(u"foreground"_s).value<QColor>(), red);
    QCOMPARE(look.value(u"border"_s).value<QColor>(), at(red, 0.5));
}

PORTHIVE_TEST_MAIN(TestKitStyle)
#include "tst_kitstyle.moc"
