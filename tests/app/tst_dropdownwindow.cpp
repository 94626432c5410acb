#include "app/dropdownwindow.h"
#include "platform/desktop/clipboard.h"
#include "support/apprig.h"
#include "support/manualclock.h"
#include "support/testhome.h"
#include "ui/windowcontext.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Style = StatusWindowing::Style;

namespace {

class NullClipboard final : public Clipboard
{
public:
    void setPlainText(const QString&) override {}
};

} // namespace

class TestDropDownWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void loadsTheRootView();
    void dropsDownUnderTheIcon();
    void aboveAnIconInTheLowerHalf();
    void ordinaryWindowForADesktopWithoutTray();
    void closeFromTheUserIsReported();
    void losingFocusHidesIt();
    void focusOfTheOrdinaryWindowDoesNotCount();
    void clickThatTookTheFocusDoesNotReopen();
    void availableHeightComesFromTheScreen();

private:
    DropDownWindow& makeWindow();

    std::unique_ptr<AppRig> m_rig;
    std::unique_ptr<PorthiveApp> m_app;
    NullClipboard m_clipboard;
    std::unique_ptr<WindowContext> m_context;
    ManualClock m_clock;
    std::unique_ptr<DropDownWindow> m_window;
};

void TestDropDownWindow::init()
{
    m_rig = std::make_unique<AppRig>();
    m_app = std::make_unique<PorthiveApp>(m_rig->environment(), QStringList{u"porthive"_s});
    m_context = std::make_unique<WindowContext>(m_app->analytics(), m_rig->workspace, m_clipboard);
}

void TestDropDownWindow::cleanup()
{
    m_window.reset();
    m_context.reset();
    m_app.reset();
    m_rig.reset();
}

DropDownWindow& TestDropDownWindow::makeWindow()
{
    const QVariantMap properties = {
        {u"store"_s, QVariant::fromValue<QObject*>(&m_app->store())},
        {u"settings"_s, QVariant::fromValue<QObject*>(&m_app->settings())},
        {u"updateController"_s, QVariant::fromValue<QObject*>(&m_app->softwareUpdateController())},
        {u"context"_s, QVariant::fromValue<QObject*>(m_context.get())},
    };
    m_window = std::make_unique<DropDownWindow>(properties, *m_context, m_clock);
    return *m_window;
}

void TestDropDownWindow::loadsTheRootView()
{
    DropDownWindow& window = makeWindow();
    QCOMPARE(window.errors(), QStringList());
    QVERIFY(window.view()->rootObject());
    QCOMPARE(window.view()->rootObject()->width(), 400.0);
    QCOMPARE(window.view()->width(), 400);
    QVERIFY(window.view()->height() > 0);
    QVERIFY(!window.isVisible());
    // What the slightly see-through backdrop sits on, following the palette.
    QCOMPARE(window.view()->color(), QGuiApplication::palette().color(QPalette::Window));
    QPalette dark = QGuiApplication::palette();
    dark.setColor(QPalette::Window, QColor(0x24, 0x24, 0x26));
    QGuiApplication::setPalette(dark);
    QTRY_COMPARE(window.view()->color(), QColor(0x24, 0x24, 0x26));
    QGuiApplication::setPalette(QPalette());
}

void TestDropDownWindow::dropsDownUnderTheIcon()
{
    DropDownWindow& window = makeWindow();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect icon(screen.right() - 30, screen.top(), 22, 22);
    window.show(Style::DropDown, icon);
    QVERIFY(window.isVisible());
    const Qt::WindowFlags flags = window.view()->flags();
    QVERIFY(flags.testFlag(Qt::Tool));
    QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
    // Kept on the screen at the right, its top edge on the icon's bottom.
    QCOMPARE(window.view()->position(), QPoint(screen.right() + 1 - 400, screen.top() + 22));

    window.toggle(icon);
    QVERIFY(!window.isVisible());
    window.toggle(icon);
    QVERIFY(window.isVisible());
}

void TestDropDownWindow::aboveAnIconInTheLowerHalf()
{
    DropDownWindow& window = makeWindow();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect icon(screen.left() + 300, screen.bottom() - 20, 22, 22);
    window.show(Style::DropDown, icon);
    QCOMPARE(window.view()->y() + window.view()->height(), icon.top());

    // The view follows its content's height and keeps its bottom edge on the icon.
    QQuickItem* root = window.view()->rootObject();
    root->setProperty("height", window.view()->height() - 40);
    QTRY_COMPARE(window.view()->y() + window.view()->height(), icon.top());
}

void TestDropDownWindow::ordinaryWindowForADesktopWithoutTray()
{
    DropDownWindow& window = makeWindow();
    window.show(Style::Ordinary, {});
    QVERIFY(window.isVisible());
    QCOMPARE(window.style(), Style::Ordinary);
    QVERIFY(!window.view()->flags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(!window.view()->flags().testFlag(Qt::Tool));

    // Back under the icon once a tray appears.
    window.show(Style::DropDown, QRect(10, 0, 22, 22));
    QVERIFY(window.view()->flags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(window.isVisible());
}

void TestDropDownWindow::closeFromTheUserIsReported()
{
    DropDownWindow& window = makeWindow();
    QSignalSpy closes(&window, &StatusWindowing::closed);
    QVERIFY(closes.isValid());
    window.show(Style::Ordinary, {});
    // The application's own hiding is no close.
    window.hide();
    QCOMPARE(closes.count(), 0);

    window.show(Style::Ordinary, {});
    // What the frame's close button and the window manager's close command do.
    QVERIFY(window.view()->close());
    QCOMPARE(closes.count(), 1);
    QVERIFY(!window.isVisible());
}

void TestDropDownWindow::losingFocusHidesIt()
{
    DropDownWindow& window = makeWindow();
    window.show(Style::DropDown, QRect(10, 0, 22, 22));
    QTRY_VERIFY(window.view()->isActive());

    QWindow elsewhere;
    elsewhere.setGeometry(500, 300, 50, 50);
    elsewhere.show();
    elsewhere.requestActivate();
    QTRY_VERIFY(!window.isVisible());

    // An ordinary window stays when it loses the focus.
    m_clock.advance(5000);
    window.show(Style::Ordinary, {});
    QTRY_VERIFY(window.view()->isActive());
    elsewhere.requestActivate();
    QTRY_VERIFY(elsewhere.isActive());
    QVERIFY(window.isVisible());
}

void TestDropDownWindow::focusOfTheOrdinaryWindowDoesNotCount()
{
    // The ordinary window has the focus; a tray appears and the window hides, then the icon's click drops it down.
    DropDownWindow& window = makeWindow();
    window.show(Style::Ordinary, {});
    QTRY_VERIFY(window.view()->isActive());
    window.hide();
    window.show(Style::DropDown, QRect(10, 0, 22, 22));
    // The window system tells only now that the focus left the ordinary window: the drop-down stays.
    QWindow elsewhere;
    elsewhere.show();
    elsewhere.requestActivate();
    QTRY_VERIFY(elsewhere.isActive());
    QVERIFY(window.isVisible());

    // Once the drop-down itself had the focus, losing it hides it.
    window.view()->requestActivate();
    QTRY_VERIFY(window.view()->isActive());
    elsewhere.requestActivate();
    QTRY_VERIFY(!window.isVisible());
}

void TestDropDownWindow::clickThatTookTheFocusDoesNotReopen()
{
    DropDownWindow& window = makeWindow();
    const QRect icon(10, 0, 22, 22);
    window.show(Style::DropDown, icon);
    QTRY_VERIFY(window.view()->isActive());
    QWindow elsewhere;
    elsewhere.show();
    elsewhere.requestActivate();
    QTRY_VERIFY(!window.isVisible());

    // The icon's click arrives right after the focus went: it was the click that closed the window.
    m_clock.advance(DropDownWindow::reopenGuard.count() - 50);
    window.toggle(icon);
    QVERIFY(!window.isVisible());
    // The next click opens it.
    window.toggle(icon);
    QVERIFY(window.isVisible());
    QTRY_VERIFY(window.view()->isActive());

    // A click well after the focus went opens it too.
    elsewhere.requestActivate();
    QTRY_VERIFY(!window.isVisible());
    m_clock.advance(DropDownWindow::reopenGuard.count() + 50);
    window.toggle(icon);
    QVERIFY(window.isVisible());
}

void TestDropDownWindow::availableHeightComesFromTheScreen()
{
    makeWindow();
    QCOMPARE(m_context->availableHeight(), qreal(QGuiApplication::primaryScreen()->availableGeometry().height()));
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    QGuiApplication app(argc, argv);
    TestDropDownWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dropdownwindow.moc"
