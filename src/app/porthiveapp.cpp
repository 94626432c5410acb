#include "app/porthiveapp.h"

#include "app/porthivesettings.h"
#include "app/softwareupdatecontroller.h"
#include "control/serverstore.h"
#include "platform/desktop/loginitemservice.h"
#include "platform/storage/userdefaults.h"
#include "platform/updates/bundleinfo.h"
#include "telemetry/analyticsclient.h"
#include "telemetry/sentrytelemetryclient.h"
#include "telemetry/telemetryclient.h"

#include <QCoreApplication>
#include <QTimer>

PorthiveApp::Environment PorthiveApp::standardEnvironment(Workspace& workspace)
{
    Environment environment;
    environment.bootstrapTelemetry = [] {
        SentryTelemetryClient::bootstrap(BundleInfo::main());
    };
    environment.enableLaunchAtLoginByDefault = [&workspace]() -> QCoro::Task<> {
        return PorthiveSettings::enableLaunchAtLoginByDefaultIfNeeded(
            std::make_shared<SettingsUserDefaults>(),
            std::make_shared<XdgAutostartLoginItem>(XdgAutostartLoginItem::standardOptions(), workspace));
    };
    environment.makeSettings = [&workspace] {
        return PorthiveSettings::makeStandard(workspace);
    };
    environment.makeAnalytics = [] {
        return makeAnalyticsClient();
    };
    environment.makeStore = [](AnalyticsCapturing& analytics) {
        return std::make_unique<ServerStore>(analytics);
    };
    environment.makeSoftwareUpdateController = [&workspace] {
        return std::make_unique<SoftwareUpdateController>(SoftwareUpdateController::standardUpdater(workspace));
    };
    return environment;
}

PorthiveApp::PorthiveApp(Environment environment, const QStringList& arguments, QObject* parent)
    : QObject(parent)
    , m_environment(std::move(environment))
{
    m_environment.bootstrapTelemetry();
    if (arguments.contains(smokeTestArgument))
        sharedTelemetryClient().sendSmokeTest();

    // Runs once the event loop does; the start-up does not wait for it.
    QTimer::singleShot(0, this, [start = m_environment.enableLaunchAtLoginByDefault] { start(); });

    m_settings = m_environment.makeSettings();
    m_analytics = m_environment.makeAnalytics();
    m_analytics->updateConsent(m_settings->analyticsConsent());
    m_analytics->capture(AnalyticsEvent::appLaunched());
    m_store = m_environment.makeStore(*m_analytics);

    ServerStore* store = m_store.get();
    QTimer::singleShot(0, store, [store] { store->startPolling(); });
}

PorthiveApp::~PorthiveApp() = default;

SoftwareUpdateController& PorthiveApp::softwareUpdateController()
{
    if (!m_softwareUpdateController)
        m_softwareUpdateController = m_environment.makeSoftwareUpdateController();
    return *m_softwareUpdateController;
}
