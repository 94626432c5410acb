#include "support/apprig.h"
#include "support/testhome.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The one log every step of the start-up writes to.
QStringList steps;

class LoggingTelemetryClient final : public TelemetryClient
{
public:
    void captureError(const std::exception&, TelemetryOperation, const TelemetryProperties&) override {}
    void captureMessage(const QString&, TelemetryOperation, const TelemetryProperties&) override {}
    void sendSmokeTest() override { steps.append(u"smoke"_s); }
};

class LoggingAnalyticsClient final : public AnalyticsCapturing
{
public:
    void updateConsent(const AnalyticsConsent& consent) override
    {
        steps.append(u"consent %1"_s.arg(consent.anonymousAnalyticsEnabled ? u"on"_s : u"off"_s));
    }
    void capture(const AnalyticsEvent& event) override { steps.append(u"event "_s + event.name()); }
};

} // namespace

class TestPorthiveApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void startUpOrder();
    void smokeTestOption_data();
    void smokeTestOption();
    void updateControllerIsMadeOnFirstUse();
    void pollingRepeatsAfterTheFirstScan();

private:
    PorthiveApp::Environment environment();

    std::unique_ptr<AppRig> m_rig;
};

void TestPorthiveApp::init()
{
    steps.clear();
    m_rig = std::make_unique<AppRig>();
    m_rig->log = [](const QString& step) {
        steps.append(step);
    };
    m_rig->makeAnalytics = [] {
        return std::make_unique<LoggingAnalyticsClient>();
    };
    connect(m_rig->store.detector.get(), &FakeDetector::started, this,
            [](int scan) { steps.append(u"scan %1"_s.arg(scan)); });
    m_rig->defaults->setValue(AnalyticsConsentPreferences::anonymousKey, true);
}

void TestPorthiveApp::cleanup()
{
    m_rig.reset();
    QCoreApplication::processEvents();
}

PorthiveApp::Environment TestPorthiveApp::environment()
{
    PorthiveApp::Environment environment = m_rig->environment();
    environment.bootstrapTelemetry = [] {
        steps.append(u"bootstrap"_s);
        setSharedTelemetryClient(std::make_unique<LoggingTelemetryClient>());
    };
    return environment;
}

void TestPorthiveApp::startUpOrder()
{
    PorthiveApp app(environment(), {u"/usr/bin/porthive"_s, u"--porthive-sentry-smoke"_s});
    const QStringList startUp = {
        u"bootstrap"_s, u"smoke"_s, u"settings"_s, u"analytics"_s, u"consent on"_s, u"event porthive_app_launched"_s,
        u"store"_s,
    };
    // The launch-at-login default and polling wait for the event loop.
    QCOMPARE(steps, startUp);
    QVERIFY(!app.store().isPolling());
    QCOMPARE(m_rig->loginItems->statusCalls(), 0);

    QTRY_VERIFY(steps.contains(u"scan 1"_s));
    QCOMPARE(steps.mid(0, startUp.size()), startUp);
    QCOMPARE(steps.mid(startUp.size()), (QStringList{u"launch at login default"_s, u"scan 1"_s}));
    QVERIFY(app.store().isPolling());
    QTRY_COMPARE(m_rig->loginItems->calls(), QStringList{u"register"_s});
    QCOMPARE(&app.analytics(), &app.analytics());
    QVERIFY(!app.hasSoftwareUpdateController());
}

void TestPorthiveApp::smokeTestOption_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("smoke");
    QTest::newRow("none") << QStringList{u"porthive"_s} << false;
    QTest::newRow("first") << QStringList{u"porthive"_s, u"--porthive-sentry-smoke"_s} << true;
    QTest::newRow("among others") << QStringList{u"porthive"_s, u"-x"_s, u"--porthive-sentry-smoke"_s, u"y"_s} << true;
    QTest::newRow("with more text") << QStringList{u"porthive"_s, u"--porthive-sentry-smoke=1"_s} << false;
    QTest::newRow("longer word") << QStringList{u"porthive"_s, u"--porthive-sentry-smokes"_s} << false;
    QTest::newRow("single dash") << QStringList{u"porthive"_s, u"-porthive-sentry-smoke"_s} << false;
    QTest::newRow("inside another") << QStringList{u"porthive"_s, u"x--porthive-sentry-smoke"_s} << false;
}

void TestPorthiveApp::smokeTestOption()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, smoke);
    PorthiveApp app(environment(), arguments);
    QCOMPARE(steps.count(u"smoke"_s), smoke ? 1 : 0);
    if (smoke)
        QCOMPARE(steps.indexOf(u"smoke"_s), steps.indexOf(u"bootstrap"_s) + 1);
}

void TestPorthiveApp::updateControllerIsMadeOnFirstUse()
{
    PorthiveApp app(environment(), {u"porthive"_s});
    QTRY_VERIFY(steps.contains(u"scan 1"_s));
    QVERIFY(!steps.contains(u"update controller"_s));
    SoftwareUpdateController& controller = app.softwareUpdateController();
    QCOMPARE(&app.softwareUpdateController(), &controller);
    QCOMPARE(steps.count(u"update controller"_s), 1);
    QVERIFY(!controller.hasUpdater());
}

void TestPorthiveApp::pollingRepeatsAfterTheFirstScan()
{
    PorthiveApp app(environment(), {u"porthive"_s});
    QTRY_COMPARE(m_rig->store.detector->waitingCount(), 1);
    m_rig->store.detector->finish(1, {StoreValues::server(4242, 5173)});
    QTRY_COMPARE(app.store().runningServerCount(), 1);
    // The next scan is one polling interval later.
    QTRY_COMPARE(m_rig->store.sleeper->requests.size(), 1);
    QCOMPARE(m_rig->store.sleeper->requests.constFirst(), ServerStore::pollingInterval);
}

PORTHIVE_TEST_MAIN(TestPorthiveApp)
#include "tst_porthiveapp.moc"
