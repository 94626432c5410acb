#pragma once

#include "telemetry/analyticsconsent.h"
#include "telemetry/analyticsenvironment.h"
#include "telemetry/analyticsevent.h"

#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class BundleInfo;
class PostHogDirectTransporting;
class UserDefaults;

// The usage-analytics client the application, the settings and the store record events through.
class AnalyticsCapturing
{
public:
    virtual ~AnalyticsCapturing() = default;
    virtual void updateConsent(const AnalyticsConsent& consent) = 0;
    virtual void capture(const AnalyticsEvent& event) = 0;
};

// Used when no capture endpoint is configured.
class NoopAnalyticsClient final : public AnalyticsCapturing
{
public:
    void updateConsent(const AnalyticsConsent&) override {}
    void capture(const AnalyticsEvent&) override {}
};

struct AnalyticsConfiguration
{
    QString projectToken;
    QUrl host;

    friend bool operator==(const AnalyticsConfiguration&, const AnalyticsConfiguration&) = default;

    // A non-blank token and an https host, both trimmed; anything else turns analytics off for good.
    static std::optional<AnalyticsConfiguration> fromBundle(const BundleInfo& bundle);
};

// Sends usage events within the user's consent: none while off, a fresh identity per event in anonymous
// mode, the persistent install id and the environment in extended mode. Lives on the GUI thread.
class PostHogAnalyticsClient final : public AnalyticsCapturing
{
public:
    static inline const QString installIDKey = QStringLiteral("PorthiveAnalyticsInstallID");

    // `configuration.host` is used as given, so a test may point it at a plain-http loopback receiver.
    PostHogAnalyticsClient(AnalyticsConfiguration configuration, AnalyticsEnvironment environment,
                           std::unique_ptr<PostHogDirectTransporting> transport, std::shared_ptr<UserDefaults> defaults,
                           std::function<QString()> anonymousID = newIdentity);
    ~PostHogAnalyticsClient() override;

    void updateConsent(const AnalyticsConsent& consent) override;
    void capture(const AnalyticsEvent& event) override;

    const AnalyticsConsent& consent() const { return m_consent; }
    bool isConfigured() const { return m_configured; }

    // A random UUID in upper-case 8-4-4-4-12 form.
    static QString newIdentity();

private:
    QString installID();
    void consentDidChange(AnalyticsMode previous, AnalyticsMode current);

    AnalyticsConfiguration m_configuration;
    AnalyticsEnvironment m_environment;
    std::unique_ptr<PostHogDirectTransporting> m_directTransport;
    std::shared_ptr<UserDefaults> m_defaults;
    std::function<QString()> m_anonymousID;
    AnalyticsConsent m_consent;
    bool m_configured = false;
};

// The client for this build: PostHogAnalyticsClient when the bundle configures an endpoint, else the no-op.
std::unique_ptr<AnalyticsCapturing> makeAnalyticsClient(const BundleInfo& bundle,
                                                        std::shared_ptr<UserDefaults> defaults);
// The same for the main bundle and the standard user defaults.
std::unique_ptr<AnalyticsCapturing> makeAnalyticsClient();
