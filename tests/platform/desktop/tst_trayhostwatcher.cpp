#include "platform/desktop/trayhostwatcher.h"
#include "support/fakestatusnotifierwatcher.h"
#include "support/privatebus.h"
#include "support/testhome.h"
#include "support/xembedtray.h"
#include "support/xserver.h"

#include <QAbstractEventDispatcher>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int busTimeout = 30000;

} // namespace

class TestTrayHostWatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void nothingOnTheBus();
    void hostRegisteringLater();
    void hostAlreadyThere();
    void panelGoingAway();
    void xembedTrayAppearingAndGoing();
    void watcherReplacedInOneStep();
    void xembedTrayReplacedInOneStep();

private:
    void startPanel(bool hostRegistered);
    void stopPanel();

    QTemporaryDir m_scratch;
    QProcess m_bus;
    QString m_address;
    std::unique_ptr<FakeStatusNotifierWatcher> m_panel;
};

void TestTrayHostWatcher::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    // A bus of the test's own: no real panel is ever asked.
    m_address = startPrivateSessionBus(m_bus, m_scratch.path(), busTimeout);
    QVERIFY(!m_address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    QVERIFY(QDBusConnection::sessionBus().isConnected());
}

void TestTrayHostWatcher::cleanup()
{
    stopPanel();
}

void TestTrayHostWatcher::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(u"panel"_s);
    if (m_bus.state() != QProcess::NotRunning) {
        m_bus.kill();
        m_bus.waitForFinished(busTimeout);
    }
}

void TestTrayHostWatcher::startPanel(bool hostRegistered)
{
    m_panel = std::make_unique<FakeStatusNotifierWatcher>();
    m_panel->hostRegistered = hostRegistered;
    QDBusConnection panel = QDBusConnection::connectToBus(m_address, u"panel"_s);
    QVERIFY(panel.isConnected());
    QVERIFY(m_panel->publish(panel));
}

void TestTrayHostWatcher::stopPanel()
{
    if (!m_panel)
        return;
    m_panel->withdraw(QDBusConnection::connectToBus(m_address, u"panel"_s));
    m_panel.reset();
}

void TestTrayHostWatcher::nothingOnTheBus()
{
    SystemTrayHostWatcher watcher;
    QVERIFY(!watcher.isHostAvailable());
}

void TestTrayHostWatcher::hostRegisteringLater()
{
    SystemTrayHostWatcher watcher;
    QSignalSpy changes(&watcher, &TrayHostWatching::hostsChanged);
    QVERIFY(changes.isValid());
    // A watcher without a host is no tray yet.
    startPanel(false);
    QDBusConnection panel = QDBusConnection::connectToBus(m_address, u"panel"_s);
    QVERIFY(!watcher.isHostAvailable());

    m_panel->registerHost();
    QTRY_VERIFY_WITH_TIMEOUT(watcher.isHostAvailable(), busTimeout);
    QCOMPARE(changes.count(), 1);
    QVERIFY(watcher.hasHost(TrayKind::StatusNotifier));
    QVERIFY(!watcher.hasHost(TrayKind::XEmbed));
}

void TestTrayHostWatcher::hostAlreadyThere()
{
    startPanel(true);
    SystemTrayHostWatcher watcher;
    QTRY_VERIFY_WITH_TIMEOUT(watcher.isHostAvailable(), busTimeout);
}

void TestTrayHostWatcher::panelGoingAway()
{
    startPanel(true);
    SystemTrayHostWatcher watcher;
    QTRY_VERIFY_WITH_TIMEOUT(watcher.isHostAvailable(), busTimeout);
    QSignalSpy changes(&watcher, &TrayHostWatching::hostsChanged);
    stopPanel();
    QTRY_VERIFY_WITH_TIMEOUT(!watcher.isHostAvailable(), busTimeout);
    QCOMPARE(changes.count(), 1);

    // A panel that comes back with its host.
    startPanel(true);
    QTRY_VERIFY_WITH_TIMEOUT(watcher.isHostAvailable(), busTimeout);
}

void TestTrayHostWatcher::xembedTrayAppearingAndGoing()
{
    if (QGuiApplication::platformName() != u"xcb"_s)
        QSKIP("Xvfb is not installed (scripts/setup installs it)");
    if (QStandardPaths::findExecutable(u"trayer"_s).isEmpty())
        QSKIP("trayer is not installed (scripts/setup installs it)");

    SystemTrayHostWatcher watcher;
    QSignalSpy changes(&watcher, &TrayHostWatching::hostsChanged);
    QVERIFY(changes.isValid());
    QVERIFY(!watcher.hasHost(TrayKind::XEmbed));
    // Nothing counts down to a look at the X server: the watcher and its parts hold no timer.
    QList<QObject*> parts = watcher.findChildren<QObject*>();
    parts.append(&watcher);
    for (QObject* part : std::as_const(parts))
        QVERIFY2(QAbstractEventDispatcher::instance()->registeredTimers(part).isEmpty(),
                 part->metaObject()->className());

    // A real tray: it takes the selection when it starts and loses it with its connection.
    for (int round = 1; round <= 2; ++round) {
        QProcess tray;
        tray.setProcessChannelMode(QProcess::ForwardedChannels);
        tray.start(u"trayer"_s, {u"--edge"_s, u"top"_s, u"--SetDockType"_s, u"true"_s});
        QVERIFY(tray.waitForStarted(busTimeout));
        QTRY_VERIFY_WITH_TIMEOUT(watcher.hasHost(TrayKind::XEmbed), busTimeout);
        QCOMPARE(changes.count(), 2 * round - 1);
        tray.terminate();
        QVERIFY(tray.waitForFinished(busTimeout));
        QTRY_VERIFY_WITH_TIMEOUT(!watcher.hasHost(TrayKind::XEmbed), busTimeout);
        QCOMPARE(changes.count(), 2 * round);
    }
    QVERIFY(!watcher.hasHost(TrayKind::StatusNotifier));
}

void TestTrayHostWatcher::watcherReplacedInOneStep()
{
    startPanel(true);
    SystemTrayHostWatcher watcher;
    QTRY_VERIFY_WITH_TIMEOUT(watcher.hasHost(TrayKind::StatusNotifier), busTimeout);
    QList<bool> reports;
    connect(&watcher, &TrayHostWatching::hostsChanged, this,
            [&] { reports.append(watcher.hasHost(TrayKind::StatusNotifier)); });

    // A new panel takes the name straight over: the host the items were registered with has gone, a new one came.
    FakeStatusNotifierWatcher replacement;
    replacement.hostRegistered = true;
    QDBusConnection next = QDBusConnection::connectToBus(m_address, u"next panel"_s);
    QVERIFY(replacement.publish(next, true));
    QTRY_COMPARE_WITH_TIMEOUT(reports, (QList<bool>{false, true}), busTimeout);
    replacement.withdraw(next);
    QTRY_COMPARE_WITH_TIMEOUT(reports, (QList<bool>{false, true, false}), busTimeout);
    QDBusConnection::disconnectFromBus(u"next panel"_s);
}

void TestTrayHostWatcher::xembedTrayReplacedInOneStep()
{
    if (QGuiApplication::platformName() != u"xcb"_s)
        QSKIP("Xvfb is not installed (scripts/setup installs it)");
    SystemTrayHostWatcher watcher;
    auto first = std::make_unique<XEmbedTray>(qgetenv("DISPLAY"), XEmbedTray::Options{});
    QVERIFY(first->start());
    QTRY_VERIFY_WITH_TIMEOUT(watcher.hasHost(TrayKind::XEmbed), busTimeout);
    QList<bool> reports;
    connect(&watcher, &TrayHostWatching::hostsChanged, this,
            [&] { reports.append(watcher.hasHost(TrayKind::XEmbed)); });

    // Another tray takes the selection while the first still runs.
    auto second = std::make_unique<XEmbedTray>(qgetenv("DISPLAY"), XEmbedTray::Options{});
    QVERIFY(second->start());
    QTRY_COMPARE_WITH_TIMEOUT(reports, (QList<bool>{false, true}), busTimeout);
    QVERIFY(!first->holdsSelection());
    // The first one quitting now changes nothing; the second one quitting leaves no tray.
    first.reset();
    second.reset();
    QTRY_COMPARE_WITH_TIMEOUT(reports, (QList<bool>{false, true, false}), busTimeout);
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    // The X11 tray is watched through the application's own X connection, so the test runs on an X server of its
    // own where Xvfb is installed.
    XServer x;
    x.startForApplication();
    QGuiApplication app(argc, argv);
    TestTrayHostWatcher test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_trayhostwatcher.moc"
