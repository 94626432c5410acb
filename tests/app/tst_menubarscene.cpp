#include "app/menubarscene.h"
#include "platform/clipboard.h"
#include "support/apprig.h"
#include "support/testhome.h"
#include "ui/windowcontext.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Style = StatusWindowing::Style;

namespace {

class FakeTrayHosts final : public TrayHostWatching
{
public:
    bool isHostAvailable() const override { return m_available; }
    void setAvailable(bool available)
    {
        m_available = available;
        Q_EMIT hostAvailableChanged(available);
    }
    bool m_available = false;
};

class FakeStatusItem final : public StatusItem
{
public:
    void setIcon(const QIcon& icon) override { icons.append(icon); }
    void setToolTip(const QString& text) override { toolTips.append(text); }
    void show() override { ++shown; }
    QRect geometry() const override { return iconGeometry; }
    void click() { Q_EMIT activated(); }

    QList<QIcon> icons;
    QStringList toolTips;
    int shown = 0;
    QRect iconGeometry;
};

class FakeWindow final : public StatusWindowing
{
public:
    Style style() const override { return m_style; }
    bool isVisible() const override { return m_visible; }
    void show(Style style, const QRect& anchor) override
    {
        calls.append(u"show %1 %2"_s.arg(style == Style::DropDown ? u"drop-down"_s : u"ordinary"_s, text(anchor)));
        m_style = style;
        m_visible = true;
    }
    void hide() override
    {
        calls.append(u"hide"_s);
        m_visible = false;
    }
    void toggle(const QRect& anchor) override
    {
        calls.append(u"toggle "_s + text(anchor));
        m_style = Style::DropDown;
        m_visible = !m_visible;
    }

    static QString text(const QRect& rect)
    {
        return rect.isNull() ? u"-"_s
                             : u"%1,%2 %3x%4"_s.arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
    }

    QStringList calls;
    QVariantMap properties;
    Style m_style = Style::DropDown;
    bool m_visible = false;
};

class NullClipboard final : public Clipboard
{
public:
    void setPlainText(const QString&) override {}
};

} // namespace

class TestMenuBarScene : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void iconOnlyOnceATrayExists();
    void labelFollowsTheStore();
    void clickTogglesTheWindowUnderTheIcon();
    void withoutIconGeometryThePointerIsTheAnchor();
    void noTrayShowsAnOrdinaryWindowAfterTheGracePeriod();
    void trayAppearingMovesTheWindowToIt();
    void trayInTimeMeansNoOrdinaryWindow();
    void laterStartShowsTheWindow();
    void quitAndDismiss();

private:
    MenuBarScene& makeScene(bool trayAvailable, std::chrono::milliseconds grace = 1h);
    FakeWindow* window() const { return m_window; }

    std::unique_ptr<AppRig> m_rig;
    std::unique_ptr<PorthiveApp> m_app;
    NullClipboard m_clipboard;
    FakeTrayHosts* m_hosts = nullptr;
    FakeStatusItem* m_item = nullptr;
    FakeWindow* m_window = nullptr;
    int m_windowsMade = 0;
    QPoint m_pointer;
    std::unique_ptr<MenuBarScene> m_scene;
};

void TestMenuBarScene::init()
{
    m_rig = std::make_unique<AppRig>();
    m_app = std::make_unique<PorthiveApp>(m_rig->environment(), QStringList{u"porthive"_s});
    m_hosts = nullptr;
    m_item = nullptr;
    m_window = nullptr;
    m_windowsMade = 0;
    m_pointer = QPoint(640, 12);
}

void TestMenuBarScene::cleanup()
{
    m_scene.reset();
    m_app.reset();
    m_rig.reset();
}

MenuBarScene& TestMenuBarScene::makeScene(bool trayAvailable, std::chrono::milliseconds grace)
{
    MenuBarScene::Seams seams;
    auto hosts = std::make_unique<FakeTrayHosts>();
    hosts->m_available = trayAvailable;
    m_hosts = hosts.get();
    seams.trayHosts = std::move(hosts);
    seams.makeStatusItem = [this] {
        auto item = std::make_unique<FakeStatusItem>();
        m_item = item.get();
        return item;
    };
    seams.makeWindow = [this](QVariantMap properties, WindowContext&) -> std::unique_ptr<StatusWindowing> {
        ++m_windowsMade;
        auto made = std::make_unique<FakeWindow>();
        made->properties = std::move(properties);
        m_window = made.get();
        return made;
    };
    seams.pointerPosition = [this] {
        return m_pointer;
    };
    seams.trayGracePeriod = grace;
    m_scene = std::make_unique<MenuBarScene>(*m_app, m_rig->workspace, m_clipboard, std::move(seams));
    m_scene->start();
    return *m_scene;
}

void TestMenuBarScene::iconOnlyOnceATrayExists()
{
    makeScene(false);
    QVERIFY(!m_item);
    m_hosts->setAvailable(true);
    QVERIFY(m_item);
    QCOMPARE(m_item->shown, 1);
    QCOMPARE(m_item->toolTips, QStringList{u"Porthive — 0 active"_s});
    QCOMPARE(m_item->icons.size(), 1);
    // The window and the update controller wait for the first click.
    QCOMPARE(m_windowsMade, 0);
    QVERIFY(!m_app->hasSoftwareUpdateController());
    // A tray that goes and comes back keeps the one icon.
    FakeStatusItem* first = m_item;
    m_hosts->setAvailable(false);
    m_hosts->setAvailable(true);
    QCOMPARE(m_item, first);
}

void TestMenuBarScene::labelFollowsTheStore()
{
    makeScene(true);
    FakeDetector& detector = *m_rig->store.detector;
    QTRY_COMPARE(detector.waitingCount(), 1);
    detector.finish(1, {StoreValues::server(10, 3000), StoreValues::server(11, 3001),
                        StoreValues::server(12, 3002, std::nullopt, u"agent-browser"_s, RuntimeKind::AgentBrowser)});
    QTRY_COMPARE(m_item->toolTips.constLast(), u"Porthive — 2 active"_s);
    QCOMPARE(m_scene->label().text, u"2"_s);
    QCOMPARE(m_item->icons.size(), m_item->toolTips.size());

    const qsizetype updates = m_item->toolTips.size();
    m_rig->store.workspace->answer = false;
    m_app->store().openServerURL(StoreValues::server(99, 1));
    QTRY_COMPARE(m_item->toolTips.constLast(), u"Porthive — error"_s);
    QCOMPARE(m_scene->label().text, u"!"_s);
    QCOMPARE(m_item->toolTips.size(), updates + 1);
}

void TestMenuBarScene::clickTogglesTheWindowUnderTheIcon()
{
    makeScene(true);
    m_item->iconGeometry = QRect(1257, 1, 22, 22);
    m_item->click();
    QVERIFY(window());
    QCOMPARE(window()->calls, QStringList{u"toggle 1257,1 22x22"_s});
    // The root view's four references.
    QCOMPARE(window()->properties.value(u"store"_s).value<QObject*>(), &m_app->store());
    QCOMPARE(window()->properties.value(u"settings"_s).value<QObject*>(), &m_app->settings());
    QCOMPARE(window()->properties.value(u"updateController"_s).value<QObject*>(), &m_app->softwareUpdateController());
    QCOMPARE(window()->properties.value(u"context"_s).value<QObject*>(), &m_scene->windowContext());
    m_item->click();
    QCOMPARE(window()->calls, (QStringList{u"toggle 1257,1 22x22"_s, u"toggle 1257,1 22x22"_s}));
    QCOMPARE(m_windowsMade, 1);
}

void TestMenuBarScene::withoutIconGeometryThePointerIsTheAnchor()
{
    makeScene(true);
    m_pointer = QPoint(900, 8);
    m_item->click();
    QCOMPARE(window()->calls, QStringList{u"toggle 900,8 1x1"_s});
}

void TestMenuBarScene::noTrayShowsAnOrdinaryWindowAfterTheGracePeriod()
{
    makeScene(false, 20ms);
    QCOMPARE(m_windowsMade, 0);
    QTRY_VERIFY(window());
    QCOMPARE(window()->calls, QStringList{u"show ordinary -"_s});
    QVERIFY(!m_item);
}

void TestMenuBarScene::trayAppearingMovesTheWindowToIt()
{
    makeScene(false, 20ms);
    QTRY_VERIFY(window());
    m_hosts->setAvailable(true);
    QVERIFY(m_item);
    QCOMPARE(window()->calls, (QStringList{u"show ordinary -"_s, u"hide"_s}));
    m_item->iconGeometry = QRect(10, 770, 22, 22);
    m_item->click();
    QCOMPARE(window()->calls.constLast(), u"toggle 10,770 22x22"_s);
    QCOMPARE(window()->style(), Style::DropDown);
}

void TestMenuBarScene::trayInTimeMeansNoOrdinaryWindow()
{
    makeScene(false, 1h);
    const QList<QTimer*> timers = m_scene->findChildren<QTimer*>();
    QCOMPARE(timers.size(), 1);
    QVERIFY(timers.constFirst()->isActive());
    m_hosts->setAvailable(true);
    QVERIFY(m_item);
    // The grace period ends without a window.
    QVERIFY(!timers.constFirst()->isActive());
    QCOMPARE(m_windowsMade, 0);
}

void TestMenuBarScene::laterStartShowsTheWindow()
{
    makeScene(true);
    m_item->iconGeometry = QRect(1257, 1, 22, 22);
    m_scene->showWindow();
    QCOMPARE(window()->calls, QStringList{u"show drop-down 1257,1 22x22"_s});

    m_scene.reset();
    m_window = nullptr;
    makeScene(false);
    m_scene->showWindow();
    QCOMPARE(window()->calls, QStringList{u"show ordinary -"_s});
}

void TestMenuBarScene::quitAndDismiss()
{
    makeScene(true);
    QSignalSpy quits(m_scene.get(), &MenuBarScene::quitRequested);
    QVERIFY(quits.isValid());
    m_scene->windowContext().quit();
    QCOMPARE(quits.count(), 1);

    m_item->click();
    m_scene->windowContext().dismiss();
    QCOMPARE(window()->calls, (QStringList{u"toggle 640,12 1x1"_s, u"hide"_s}));
    window()->show(Style::Ordinary, {});
    m_scene->windowContext().dismiss();
    QCOMPARE(window()->calls.constLast(), u"show ordinary -"_s);
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    QGuiApplication app(argc, argv);
    TestMenuBarScene test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_menubarscene.moc"
