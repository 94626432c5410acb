#pragma once

#include <QCoroTask>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class AnalyticsCapturing;
class PorthiveSettings;
class ServerStore;
class SoftwareUpdateController;
class Workspace;

// The application: its start-up, in a fixed order, and the four objects the window receives. The update
// controller is made the first time the window needs it, never at start-up.
class PorthiveApp final : public QObject
{
    Q_OBJECT

public:
    static inline const QString smokeTestArgument = QStringLiteral("--porthive-sentry-smoke");

    // How each piece is made; tests replace them to watch the order.
    struct Environment
    {
        // Installs the process-wide error-reporting client.
        std::function<void()> bootstrapTelemetry;
        // Launch at login on by default, once.
        std::function<QCoro::Task<>()> enableLaunchAtLoginByDefault;
        std::function<std::unique_ptr<PorthiveSettings>()> makeSettings;
        std::function<std::unique_ptr<AnalyticsCapturing>()> makeAnalytics;
        std::function<std::unique_ptr<ServerStore>(AnalyticsCapturing&)> makeStore;
        std::function<std::unique_ptr<SoftwareUpdateController>()> makeSoftwareUpdateController;
    };

    // The pieces of the real application.
    static Environment standardEnvironment(Workspace& workspace);

    // Runs the start-up: error reporting, the smoke test when `arguments` hold its option, the launch-at-login
    // default (queued), the settings, the analytics client with the consent, the launch event, the store, and
    // its polling (queued, so the first scan runs once the event loop does).
    PorthiveApp(Environment environment, const QStringList& arguments, QObject* parent = nullptr);
    ~PorthiveApp() override;

    ServerStore& store() const { return *m_store; }
    PorthiveSettings& settings() const { return *m_settings; }
    AnalyticsCapturing& analytics() const { return *m_analytics; }
    // Made on the first call.
    SoftwareUpdateController& softwareUpdateController();
    bool hasSoftwareUpdateController() const { return m_softwareUpdateController != nullptr; }

private:
    Environment m_environment;
    // Declared first so it goes last: the store reports through it until it is gone.
    std::unique_ptr<AnalyticsCapturing> m_analytics;
    std::unique_ptr<ServerStore> m_store;
    std::unique_ptr<PorthiveSettings> m_settings;
    std::unique_ptr<SoftwareUpdateController> m_softwareUpdateController;
};
