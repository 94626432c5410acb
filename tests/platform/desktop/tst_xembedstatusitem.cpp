#include "platform/desktop/traytooltip.h"
#include "platform/desktop/xembedstatusitem.h"
#include "support/testhome.h"
#include "support/xembedtray.h"
#include "support/xserver.h"

#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int timeout = 30000;

// A picture drawn for each size it is asked at: a disc in `colour`, a half transparent square beside it and a hole
// between them.
QIcon testIcon(const QColor& colour)
{
    QIcon icon;
    for (int side : {16, 24, 32, 48}) {
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(QRectF(0, 0, side * 0.6, side * 0.6));
        painter.setBrush(QColor(0, 0, 255, 128));
        painter.drawRect(QRectF(side * 0.5, side * 0.5, side * 0.5, side * 0.5));
        // A gap cleared into what is drawn, as the real icon's around its badge: the tray's background shows there.
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.drawRect(QRectF(side * 0.45, side * 0.45, side * 0.1, side * 0.1));
        painter.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

// What the tray should show: the icon over the tray's background, or over transparency with an alpha channel.
QImage expectedPixels(const QIcon& icon, int side, const QColor& background, bool alpha)
{
    QImage drawn(side, side, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    icon.paint(&painter, QRect(0, 0, side, side));
    painter.end();
    if (alpha)
        return drawn;
    QImage shown(side, side, QImage::Format_RGB32);
    shown.fill(background);
    painter.begin(&shown);
    painter.drawImage(0, 0, drawn);
    painter.end();
    return shown;
}

// The largest difference of one channel between two pictures of one size; 256 when the sizes differ.
int difference(const QImage& shown, const QImage& expected)
{
    if (shown.size() != expected.size() || shown.format() != expected.format())
        return 256;
    int largest = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const QRgb a = shown.pixel(x, y);
            const QRgb b = expected.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
        }
    }
    return largest;
}

bool pointer(const QStringList& arguments)
{
    QProcess xdotool;
    xdotool.start(u"xdotool"_s, arguments);
    return xdotool.waitForFinished(timeout) && xdotool.exitCode() == 0;
}

bool moveTo(const QPoint& point)
{
    return pointer({u"mousemove"_s, u"--sync"_s, QString::number(point.x()), QString::number(point.y())});
}

} // namespace

class TestXEmbedStatusItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void drawnInTheTraysVisualAtItsSize_data();
    void drawnInTheTraysVisualAtItsSize();
    void leftClickActivatesAtTheIcon();
    void toolTipWhileThePointerRests();
    void withoutATrayShowFails();
    void trayQuittingLeavesTheIconToTheScene();
};

void TestXEmbedStatusItem::initTestCase()
{
    if (QGuiApplication::platformName() != u"xcb"_s)
        QSKIP("Xvfb is not installed (scripts/setup installs it)");
}

void TestXEmbedStatusItem::drawnInTheTraysVisualAtItsSize_data()
{
    using Visual = XEmbedTray::Visual;
    QTest::addColumn<Visual>("visual");
    QTest::addColumn<int>("firstSize");
    QTest::addColumn<int>("laterSize");
    QTest::newRow("no visual named: the tray's background") << Visual::Unnamed << 24 << 32;
    QTest::newRow("the screen's visual named") << Visual::Default << 22 << 16;
    QTest::newRow("a visual with alpha: transparency") << Visual::Alpha << 24 << 48;
}

void TestXEmbedStatusItem::drawnInTheTraysVisualAtItsSize()
{
    QFETCH(XEmbedTray::Visual, visual);
    QFETCH(int, firstSize);
    QFETCH(int, laterSize);
    XEmbedTray::Options options;
    options.visual = visual;
    options.iconSize = firstSize;
    XEmbedTray tray(qgetenv("DISPLAY"), options);
    if (!tray.start() && visual == XEmbedTray::Visual::Alpha)
        QSKIP("the X server has no 32-bit visual");
    QVERIFY(tray.holdsSelection());
    const bool alpha = visual == XEmbedTray::Visual::Alpha;

    XEmbedStatusItem item;
    QSignalSpy failures(&item, &StatusItem::failed);
    QVERIFY(failures.isValid());
    const QIcon gold = testIcon(QColor(255, 200, 40));
    item.setIcon(gold);
    item.show();
    QVERIFY(item.windowId() != 0);
    QTRY_COMPARE_WITH_TIMEOUT(tray.icons(), QList<quint32>{item.windowId()}, timeout);
    QTRY_VERIFY_WITH_TIMEOUT(tray.iconViewable(item.windowId()), timeout);

    // The window is one the tray can tell and embed.
    QCOMPARE(tray.iconVisual(item.windowId()), alpha ? tray.namedVisual() : tray.screenVisual());
    QCOMPARE(tray.property(item.windowId(), "WM_CLASS"), QByteArray("porthive\0porthive\0", 18));
    QCOMPARE(tray.property(item.windowId(), "_NET_WM_NAME"), QByteArray("Porthive"));
    const QByteArray info = tray.property(item.windowId(), "_XEMBED_INFO");
    QCOMPARE(info.size(), 8);
    QCOMPARE(reinterpret_cast<const quint32*>(info.constData())[1] & 1u, 1u);

    // Drawn at the size the tray gives, on its background or on transparency; again when the icon changes or the
    // tray gives another size.
    const QColor background = options.background;
    QTRY_COMPARE_WITH_TIMEOUT(
        difference(tray.iconPixels(item.windowId()), expectedPixels(gold, firstSize, background, alpha)), 0, timeout);
    const QIcon red = testIcon(QColor(220, 30, 30));
    item.setIcon(red);
    QTRY_COMPARE_WITH_TIMEOUT(
        difference(tray.iconPixels(item.windowId()), expectedPixels(red, firstSize, background, alpha)), 0, timeout);
    tray.resizeIcons(laterSize);
    QTRY_COMPARE_WITH_TIMEOUT(
        difference(tray.iconPixels(item.windowId()), expectedPixels(red, laterSize, background, alpha)), 0, timeout);
    QCOMPARE(failures.count(), 0);
}

void TestXEmbedStatusItem::leftClickActivatesAtTheIcon()
{
    if (QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
        QSKIP("xdotool is not installed (scripts/setup installs it)");
    XEmbedTray tray(qgetenv("DISPLAY"), {});
    QVERIFY(tray.start());
    XEmbedStatusItem item;
    item.setIcon(testIcon(Qt::yellow));
    item.show();
    QTRY_VERIFY_WITH_TIMEOUT(!tray.icons().isEmpty() && tray.iconViewable(tray.icons().constFirst()), timeout);
    const QRect icon = tray.iconGeometry(item.windowId());
    QCOMPARE(icon, QRect(tray.options().panel, QSize(24, 24)));
    QTRY_COMPARE_WITH_TIMEOUT(item.geometry(), icon, timeout);

    QSignalSpy clicks(&item, &StatusItem::activated);
    QVERIFY(clicks.isValid());
    QVERIFY(moveTo(icon.center()));
    // A right click is no activation; the left one after it is.
    QVERIFY(pointer({u"click"_s, u"3"_s}));
    QVERIFY(pointer({u"click"_s, u"1"_s}));
    QVERIFY(clicks.wait(timeout));
    QCOMPARE(clicks.count(), 1);
}

void TestXEmbedStatusItem::toolTipWhileThePointerRests()
{
    if (QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
        QSKIP("xdotool is not installed (scripts/setup installs it)");
    QVERIFY(moveTo(QPoint(200, 500)));
    XEmbedTray tray(qgetenv("DISPLAY"), {});
    QVERIFY(tray.start());
    XEmbedStatusItem item;
    item.setIcon(testIcon(Qt::yellow));
    item.setToolTip(u"Porthive — 3 active"_s);
    item.show();
    QTRY_VERIFY_WITH_TIMEOUT(!tray.icons().isEmpty() && tray.iconViewable(tray.icons().constFirst()), timeout);
    const QRect icon = tray.iconGeometry(item.windowId());

    QVERIFY(moveTo(icon.center()));
    QTRY_VERIFY_WITH_TIMEOUT(item.toolTipWindow() && item.toolTipWindow()->isVisible(), timeout);
    QCOMPARE(item.toolTipWindow()->text(), u"Porthive — 3 active"_s);
    // Under the icon, clear of the panel.
    QVERIFY2(item.toolTipWindow()->geometry().top() > icon.bottom(),
             qPrintable(QString::number(item.toolTipWindow()->geometry().top())));
    // A new count shows at once.
    item.setToolTip(u"Porthive — 4 active"_s);
    QCOMPARE(item.toolTipWindow()->text(), u"Porthive — 4 active"_s);

    QVERIFY(moveTo(QPoint(200, 500)));
    QTRY_VERIFY_WITH_TIMEOUT(!item.toolTipWindow()->isVisible(), timeout);
}

void TestXEmbedStatusItem::withoutATrayShowFails()
{
    XEmbedStatusItem item;
    QSignalSpy failures(&item, &StatusItem::failed);
    QVERIFY(failures.isValid());
    item.show();
    // Later, from the event loop.
    QCOMPARE(failures.count(), 0);
    QVERIFY(failures.wait(timeout));
    QCOMPARE(item.windowId(), 0u);
    QVERIFY(item.geometry().isNull());
}

void TestXEmbedStatusItem::trayQuittingLeavesTheIconToTheScene()
{
    auto tray = std::make_unique<XEmbedTray>(qgetenv("DISPLAY"), XEmbedTray::Options{});
    QVERIFY(tray->start());
    auto item = std::make_unique<XEmbedStatusItem>();
    item->setIcon(testIcon(Qt::yellow));
    item->show();
    QTRY_VERIFY_WITH_TIMEOUT(!tray->icons().isEmpty() && tray->iconViewable(item->windowId()), timeout);

    // The item itself does not fail: the tray host watcher tells the scene, which makes the icon again elsewhere.
    QSignalSpy failures(item.get(), &StatusItem::failed);
    QVERIFY(failures.isValid());
    tray.reset();
    XEmbedTray next(qgetenv("DISPLAY"), {});
    QVERIFY(next.start());
    QVERIFY(next.icons().isEmpty());
    // An icon made for the new tray docks there; the old one goes with its object.
    const quint32 old = item->windowId();
    item = std::make_unique<XEmbedStatusItem>();
    item->show();
    QTRY_COMPARE_WITH_TIMEOUT(next.icons(), QList<quint32>{item->windowId()}, timeout);
    QVERIFY(item->windowId() != old);
    QCOMPARE(failures.count(), 0);
    item.reset();
    QTRY_VERIFY_WITH_TIMEOUT(next.icons().isEmpty(), timeout);
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    // The icon lives on the application's own X connection, so the test runs on an X server of its own where Xvfb
    // is installed.
    XServer x;
    x.startForApplication();
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"porthive"_s);
    QGuiApplication::setApplicationDisplayName(u"Porthive"_s);
    TestXEmbedStatusItem test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_xembedstatusitem.moc"
