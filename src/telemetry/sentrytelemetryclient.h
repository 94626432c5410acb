#pragma once

#include "telemetry/sentryevent.h"
#include "telemetry/telemetryclient.h"

#include <memory>
#include <optional>

class BundleInfo;
class SentrySdk;

struct SentryTelemetryConfiguration
{
    QString dsn;
    QString environment;
    QString releaseName;
    QString dist;

    friend bool operator==(const SentryTelemetryConfiguration&, const SentryTelemetryConfiguration&) = default;

    // Nothing when the DSN is absent, blank, an unexpanded "$(...)" build variable or does not begin with "http".
    static std::optional<SentryTelemetryConfiguration> fromBundle(const BundleInfo& bundle);
};

// Sends error reports, each scrubbed once more just before it is serialised.
class SentryTelemetryClient final : public TelemetryClient
{
public:
    static constexpr std::chrono::milliseconds smokeFlushTimeout{5000};

    SentryTelemetryClient(SentryTelemetryConfiguration configuration, std::unique_ptr<SentrySdk> sdk);
    ~SentryTelemetryClient() override;

    // The error-reporting client set up as the product uses it; null when the DSN does not parse.
    static std::unique_ptr<SentrySdk> startSdk(const SentryTelemetryConfiguration& configuration);
    // The client the bundle asks for: this one when a usable DSN is configured, else a disabled one.
    static std::unique_ptr<TelemetryClient> fromBundle(const BundleInfo& bundle);
    // Installs fromBundle(bundle) as the process-wide client. Called first thing at start-up.
    static void bootstrap(const BundleInfo& bundle);

    void captureError(const std::exception& error, TelemetryOperation operation,
                      const TelemetryProperties& properties) override;
    void captureMessage(const QString& message, TelemetryOperation operation,
                        const TelemetryProperties& properties) override;
    void sendSmokeTest() override;

    const SentryTelemetryConfiguration& configuration() const { return m_configuration; }
    SentrySdk& sdk() const { return *m_sdk; }

    // Redacts every text of the event and drops what could identify the user; the stacks and breadcrumbs of
    // this product's own reports go too, those of the client's other events stay.
    static SentryEvent scrubEvent(SentryEvent event);

private:
    SentryTelemetryConfiguration m_configuration;
    std::unique_ptr<SentrySdk> m_sdk;
};
