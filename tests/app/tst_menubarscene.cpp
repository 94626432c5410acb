#include "app/menubarscene.h"
#include "platform/desktop/clipboard.h"
#include "platform/desktop/statusnotifieritem.h"
#include "support/apprig.h"
#include "support/fakestatusnotifierwatcher.h"
#include "support/privatebus.h"
#include "support/testhome.h"
#include "ui/windowcontext.h"

#include <QDBusMessage>
#include <QGuiApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Style = StatusWindowing::Style;

namespace {

class FakeTrayHosts final : public TrayHostWatching
{
public:
    bool hasHost(TrayKind kind) const override
    {
        return kind == TrayKind::StatusNotifier ? m_statusNotifier : m_xembed;
    }
    void set(TrayKind kind, bool present)
    {
        (kind == TrayKind::StatusNotifier ? m_statusNotifier : m_xembed) = present;
        Q_EMIT hostsChanged();
    }
    void setAvailable(bool available) { set(TrayKind::StatusNotifier, available); }

    bool m_statusNotifier = false;
    bool m_xembed = false;
};

class FakeStatusItem final : public StatusItem
{
public:
    void setIcon(const QIcon& icon) override { icons.append(icon); }
    void setToolTip(const QString& text) override { toolTips.append(text); }
    void show() override { ++shown; }
    QRect geometry() const override { return iconGeometry; }
    void click() { Q_EMIT activated(); }
    // The tray refused the icon.
    void refuse() { Q_EMIT failed(); }

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
    // The close button of the window's frame.
    void userClose()
    {
        m_visible = false;
        Q_EMIT closed();
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
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void iconOnlyOnceATrayExists();
    void labelFollowsTheStore();
    void clickTogglesTheWindowUnderTheIcon();
    void withoutIconGeometryThePointerIsTheAnchor();
    void noTrayShowsAnOrdinaryWindowAfterTheGracePeriod();
    void trayAppearingMovesTheWindowToIt();
    void trayInTimeMeansNoOrdinaryWindow();
    void laterStartShowsTheWindow();
    void quitAndDismiss();
    void iconFollowsTheTrayHosts_data();
    void iconFollowsTheTrayHosts();
    void trayGoneShowsTheOrdinaryWindowAfterTheGracePeriod();
    void closingTheOrdinaryWindowWithoutATrayQuits();
    void refusedIconFallsBack_data();
    void refusedIconFallsBack();
    void refusingTrayIsAskedAgainOnceItCameBack();
    void lateRefusalOfAnIconGoneChangesNothing();

    // The scene with the desktop's trays and the StatusNotifierItem of our own, on a session bus of the test's.
    void hostsClickPositionPlacesTheWindow();
    void watcherReplacedInOneStepGetsTheItem();
    void refusingWatcherLeavesTheOrdinaryWindow();

private:
    MenuBarScene& makeScene(bool trayAvailable, std::chrono::milliseconds grace = 1h);
    MenuBarScene& makeScene(bool statusNotifier, bool xembed, std::chrono::milliseconds grace);
    // With the real tray host watcher and StatusNotifierItem on the test's bus.
    MenuBarScene& makeBusScene(std::chrono::milliseconds grace);
    // The scene over `seams` with the fake window and pointer.
    MenuBarScene& startScene(MenuBarScene::Seams seams, std::chrono::milliseconds grace);
    QDBusConnection panel(const QString& name = u"panel"_s) const
    {
        return QDBusConnection::connectToBus(m_address, name);
    }
    void activate(const QString& item, const QPoint& position);
    FakeWindow* window() const { return m_window; }

    std::unique_ptr<AppRig> m_rig;
    std::unique_ptr<PorthiveApp> m_app;
    NullClipboard m_clipboard;
    FakeTrayHosts* m_hosts = nullptr;
    FakeStatusItem* m_item = nullptr;
    // The kind of every icon made, in order.
    QList<TrayKind> m_itemsMade;
    FakeWindow* m_window = nullptr;
    int m_windowsMade = 0;
    QPoint m_pointer;
    std::unique_ptr<MenuBarScene> m_scene;
    QTemporaryDir m_busFolder;
    QProcess m_bus;
    QString m_address;
};

void TestMenuBarScene::initTestCase()
{
    QVERIFY(m_busFolder.isValid());
    // A bus of the test's own: no real panel is ever asked.
    m_address = startPrivateSessionBus(m_bus, m_busFolder.path());
    if (!m_address.isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
}

void TestMenuBarScene::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(u"panel"_s);
    QDBusConnection::disconnectFromBus(u"next panel"_s);
    if (m_bus.state() != QProcess::NotRunning) {
        m_bus.kill();
        m_bus.waitForFinished();
    }
}

void TestMenuBarScene::init()
{
    m_rig = std::make_unique<AppRig>();
    m_app = std::make_unique<PorthiveApp>(m_rig->environment(), QStringList{u"porthive"_s});
    m_hosts = nullptr;
    m_item = nullptr;
    m_itemsMade.clear();
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
    return makeScene(trayAvailable, false, grace);
}

MenuBarScene& TestMenuBarScene::makeScene(bool statusNotifier, bool xembed, std::chrono::milliseconds grace)
{
    MenuBarScene::Seams seams;
    auto hosts = std::make_unique<FakeTrayHosts>();
    hosts->m_statusNotifier = statusNotifier;
    hosts->m_xembed = xembed;
    m_hosts = hosts.get();
    seams.trayHosts = std::move(hosts);
    seams.makeStatusItem = [this](TrayKind kind) {
        auto item = std::make_unique<FakeStatusItem>();
        m_item = item.get();
        m_itemsMade.append(kind);
        QObject::connect(item.get(), &QObject::destroyed, this, [this, made = item.get()] {
            if (m_item == made)
                m_item = nullptr;
        });
        return item;
    };
    return startScene(std::move(seams), grace);
}

MenuBarScene& TestMenuBarScene::makeBusScene(std::chrono::milliseconds grace)
{
    return startScene(MenuBarScene::standardSeams(), grace);
}

MenuBarScene& TestMenuBarScene::startScene(MenuBarScene::Seams seams, std::chrono::milliseconds grace)
{
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

void TestMenuBarScene::activate(const QString& item, const QPoint& position)
{
    QDBusMessage call = QDBusMessage::createMethodCall(item, StatusNotifierItem::objectPath(),
                                                       u"org.kde.StatusNotifierItem"_s, u"Activate"_s);
    call << position.x() << position.y();
    panel().asyncCall(call);
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
    // A tray that goes takes the icon along; when it comes back the icon is made again, with the label.
    m_hosts->setAvailable(false);
    QVERIFY(!m_item);
    m_hosts->setAvailable(true);
    QVERIFY(m_item);
    QCOMPARE(m_itemsMade.size(), 2);
    QCOMPARE(m_item->shown, 1);
    QCOMPARE(m_item->toolTips, QStringList{u"Porthive — 0 active"_s});
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

void TestMenuBarScene::iconFollowsTheTrayHosts_data()
{
    using Kinds = QList<TrayKind>;
    const TrayKind sni = TrayKind::StatusNotifier;
    const TrayKind x = TrayKind::XEmbed;
    QTest::addColumn<bool>("statusNotifier");
    QTest::addColumn<bool>("xembed");
    // One host change a step: the kind and whether it is there afterwards.
    QTest::addColumn<Kinds>("changes");
    QTest::addColumn<QList<bool>>("present");
    // The kinds of the icons made, the first at start.
    QTest::addColumn<Kinds>("made");

    QTest::newRow("status notifier host gone, then an X tray")
        << true << false << Kinds{sni, x} << QList{false, true} << Kinds{sni, x};
    QTest::newRow("X tray gone, then a status notifier host")
        << false << true << Kinds{x, sni} << QList{false, true} << Kinds{x, sni};
    QTest::newRow("status notifier host gone with an X tray there")
        << true << true << Kinds{sni} << QList{false} << Kinds{sni, x};
    QTest::newRow("both at start: the status notifier host") << true << true << Kinds{} << QList<bool>{} << Kinds{sni};
    QTest::newRow("a status notifier host beside the X tray the icon is in")
        << false << true << Kinds{sni} << QList{true} << Kinds{x};
    QTest::newRow("the other tray going leaves the icon") << true << true << Kinds{x} << QList{false} << Kinds{sni};
    QTest::newRow("a panel restarting") << true << false << Kinds{sni, sni} << QList{false, true} << Kinds{sni, sni};
}

void TestMenuBarScene::iconFollowsTheTrayHosts()
{
    QFETCH(bool, statusNotifier);
    QFETCH(bool, xembed);
    QFETCH(QList<TrayKind>, changes);
    QFETCH(QList<bool>, present);
    QFETCH(QList<TrayKind>, made);

    makeScene(statusNotifier, xembed, 1h);
    for (qsizetype i = 0; i < changes.size(); ++i)
        m_hosts->set(changes.at(i), present.at(i));
    QCOMPARE(m_itemsMade, made);
    QVERIFY(m_item);
    QCOMPARE(m_scene->statusItemKind(), made.constLast());
    QCOMPARE(m_scene->statusItem(), m_item);
    QCOMPARE(m_item->shown, 1);
    QCOMPARE(m_item->icons.size(), 1);
    // Each change came within the grace period: no ordinary window.
    QCOMPARE(m_windowsMade, 0);
}

void TestMenuBarScene::trayGoneShowsTheOrdinaryWindowAfterTheGracePeriod()
{
    makeScene(true, false, 20ms);
    m_item->click();
    QCOMPARE(window()->calls, QStringList{u"toggle 640,12 1x1"_s});
    window()->hide();
    m_hosts->set(TrayKind::StatusNotifier, false);
    QVERIFY(!m_scene->statusItem());
    QTRY_COMPARE(window()->calls.constLast(), u"show ordinary -"_s);

    // An X tray appearing later takes the icon, and the window leaves the screen.
    m_hosts->set(TrayKind::XEmbed, true);
    QCOMPARE(m_itemsMade, (QList{TrayKind::StatusNotifier, TrayKind::XEmbed}));
    QCOMPARE(window()->calls.constLast(), u"hide"_s);
}

void TestMenuBarScene::closingTheOrdinaryWindowWithoutATrayQuits()
{
    makeScene(false, 20ms);
    QSignalSpy quits(m_scene.get(), &MenuBarScene::quitRequested);
    QVERIFY(quits.isValid());
    QTRY_VERIFY(window());
    QCOMPARE(window()->style(), Style::Ordinary);
    window()->userClose();
    QCOMPARE(quits.count(), 1);

    // With a tray the icon brings the window back: closing it only hides it.
    m_scene.reset();
    m_window = nullptr;
    makeScene(true);
    QSignalSpy laterQuits(m_scene.get(), &MenuBarScene::quitRequested);
    QVERIFY(laterQuits.isValid());
    m_item->click();
    window()->userClose();
    m_scene->showWindow();
    window()->userClose();
    QCOMPARE(laterQuits.count(), 0);
}

void TestMenuBarScene::refusedIconFallsBack_data()
{
    using Kinds = QList<TrayKind>;
    const TrayKind sni = TrayKind::StatusNotifier;
    const TrayKind x = TrayKind::XEmbed;
    QTest::addColumn<bool>("statusNotifier");
    QTest::addColumn<bool>("xembed");
    // How many of the icons made refuse, one after the other.
    QTest::addColumn<int>("refusals");
    QTest::addColumn<Kinds>("made");
    QTest::addColumn<bool>("ordinaryWindow");

    QTest::newRow("status notifier host refuses, the X tray takes it") << true << true << 1 << Kinds{sni, x} << false;
    QTest::newRow("status notifier host refuses, no other tray") << true << false << 1 << Kinds{sni} << true;
    QTest::newRow("both refuse") << true << true << 2 << Kinds{sni, x} << true;
    QTest::newRow("the X tray refuses, no other tray") << false << true << 1 << Kinds{x} << true;
}

void TestMenuBarScene::refusedIconFallsBack()
{
    QFETCH(bool, statusNotifier);
    QFETCH(bool, xembed);
    QFETCH(int, refusals);
    QFETCH(QList<TrayKind>, made);
    QFETCH(bool, ordinaryWindow);

    makeScene(statusNotifier, xembed, 20ms);
    for (int i = 0; i < refusals; ++i) {
        QVERIFY(m_item);
        m_item->refuse();
        // Handled from the event loop, not inside the item's own call.
        QVERIFY(m_item);
        QTRY_VERIFY(m_itemsMade.size() > i + 1 || !m_item);
    }
    QCOMPARE(m_itemsMade, made);
    QCOMPARE(m_scene->statusItem() != nullptr, !ordinaryWindow);
    if (ordinaryWindow) {
        QTRY_VERIFY(window());
        QCOMPARE(window()->calls, QStringList{u"show ordinary -"_s});
    } else {
        QCOMPARE(m_scene->statusItemKind(), made.constLast());
        QCOMPARE(m_windowsMade, 0);
    }
}

void TestMenuBarScene::refusingTrayIsAskedAgainOnceItCameBack()
{
    makeScene(true, false, 20ms);
    m_item->refuse();
    QTRY_VERIFY(window());
    QVERIFY(!m_scene->statusItem());
    // An X tray appearing meanwhile takes the icon; the refusing host is passed over while it stays.
    m_hosts->set(TrayKind::XEmbed, true);
    QCOMPARE(m_itemsMade, (QList{TrayKind::StatusNotifier, TrayKind::XEmbed}));
    m_hosts->set(TrayKind::XEmbed, false);
    QCOMPARE(m_itemsMade.size(), 2);
    QVERIFY(!m_scene->statusItem());
    // The panel restarts: its new host is asked again.
    m_hosts->set(TrayKind::StatusNotifier, false);
    m_hosts->set(TrayKind::StatusNotifier, true);
    QCOMPARE(m_itemsMade, (QList{TrayKind::StatusNotifier, TrayKind::XEmbed, TrayKind::StatusNotifier}));
    QVERIFY(m_scene->statusItem());
    QCOMPARE(window()->calls.constLast(), u"hide"_s);
}

void TestMenuBarScene::lateRefusalOfAnIconGoneChangesNothing()
{
    makeScene(true, false, 1h);
    // The refusal is on its way when the host goes and an X tray takes the icon.
    m_item->refuse();
    m_hosts->set(TrayKind::StatusNotifier, false);
    m_hosts->set(TrayKind::XEmbed, true);
    QCoreApplication::processEvents();
    QCOMPARE(m_itemsMade, (QList{TrayKind::StatusNotifier, TrayKind::XEmbed}));
    QVERIFY(m_item);
    QCOMPARE(m_scene->statusItemKind(), TrayKind::XEmbed);
    // And the host coming back is asked again.
    m_hosts->set(TrayKind::XEmbed, false);
    m_hosts->set(TrayKind::StatusNotifier, true);
    QCOMPARE(m_itemsMade.constLast(), TrayKind::StatusNotifier);
}

void TestMenuBarScene::hostsClickPositionPlacesTheWindow()
{
    if (m_address.isEmpty())
        QSKIP("dbus-daemon is not installed");
    FakeStatusNotifierWatcher watcher;
    watcher.hostRegistered = true;
    QVERIFY(watcher.publish(panel()));
    const auto withdrawn = qScopeGuard([&] { watcher.withdraw(panel()); });
    makeBusScene(1h);
    QTRY_COMPARE(watcher.items.size(), 1);

    // The window drops down where the host says the click was, not at the pointer, which may be stale (a native
    // Wayland panel's click does not move the X pointer).
    m_pointer = QPoint(100, 700);
    activate(watcher.items.constFirst(), QPoint(900, 8));
    QTRY_VERIFY(window());
    QTRY_COMPARE(window()->calls, QStringList{u"toggle 900,8 1x1"_s});
    // A host that gives no position: the pointer.
    activate(watcher.items.constFirst(), QPoint(0, 0));
    QTRY_COMPARE(window()->calls, (QStringList{u"toggle 900,8 1x1"_s, u"toggle 100,700 1x1"_s}));
}

void TestMenuBarScene::watcherReplacedInOneStepGetsTheItem()
{
    if (m_address.isEmpty())
        QSKIP("dbus-daemon is not installed");
    FakeStatusNotifierWatcher first;
    first.hostRegistered = true;
    QVERIFY(first.publish(panel()));
    makeBusScene(1h);
    QTRY_COMPARE(first.items.size(), 1);

    // A panel started with --replace: the name passes straight to its watcher, which hears of the icon again.
    FakeStatusNotifierWatcher second;
    second.hostRegistered = true;
    QVERIFY(second.publish(panel(u"next panel"_s), true));
    QTRY_COMPARE(second.items.size(), 1);
    const auto* item = qobject_cast<StatusNotifierItem*>(m_scene->statusItem());
    QVERIFY(item);
    QCOMPARE(second.items.constFirst(), item->serviceName());
    QCOMPARE(m_windowsMade, 0);
    second.withdraw(panel(u"next panel"_s));
    first.withdraw(panel());
}

void TestMenuBarScene::refusingWatcherLeavesTheOrdinaryWindow()
{
    if (m_address.isEmpty())
        QSKIP("dbus-daemon is not installed");
    FakeStatusNotifierWatcher watcher;
    watcher.hostRegistered = true;
    watcher.refuse = true;
    QVERIFY(watcher.publish(panel()));
    const auto withdrawn = qScopeGuard([&] { watcher.withdraw(panel()); });
    makeBusScene(20ms);
    QTRY_VERIFY(window());
    QCOMPARE(window()->calls, QStringList{u"show ordinary -"_s});
    QVERIFY(!m_scene->statusItem());
    QVERIFY(watcher.items.isEmpty());
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
