#include "telemetry/analyticsclient.h"

#include "platform/storage/userdefaults.h"
#include "platform/updates/bundleinfo.h"
#include "telemetry/posthogdirecttransport.h"
#include "telemetry/telemetryclient.h"
#include "telemetry/telemetrylog.h"

#include <QUuid>

using namespace Qt::StringLiterals;

std::optional<AnalyticsConfiguration> AnalyticsConfiguration::fromBundle(const BundleInfo& bundle)
{
    const QString token = bundle.value(u"PorthivePostHogProjectToken"_s).value_or(QString()).trimmed();
    if (token.isEmpty())
        return std::nullopt;
    const QString hostText = bundle.value(u"PorthivePostHogHost"_s).value_or(QString()).trimmed();
    const QUrl host(hostText, QUrl::StrictMode);
    // QUrl lower-cases the scheme, so the exact spelling is checked on the text itself.
    if (!hostText.startsWith(u"https:"_s) || !host.isValid() || host.scheme() != u"https"_s || host.host().isEmpty()) {
        qCDebug(lcTelemetry) << "PorthivePostHogHost" << hostText << "is no https address: analytics stay off";
        return std::nullopt;
    }
    return AnalyticsConfiguration{token, host};
}

PostHogAnalyticsClient::PostHogAnalyticsClient(AnalyticsConfiguration configuration, AnalyticsEnvironment environment,
                                               std::unique_ptr<PostHogDirectTransporting> transport,
                                               std::shared_ptr<UserDefaults> defaults,
                                               std::function<QString()> anonymousID)
    : m_configuration(std::move(configuration))
    , m_environment(std::move(environment))
    , m_directTransport(std::move(transport))
    , m_defaults(std::move(defaults))
    , m_anonymousID(std::move(anonymousID))
{}

PostHogAnalyticsClient::~PostHogAnalyticsClient() = default;

QString PostHogAnalyticsClient::newIdentity()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

void PostHogAnalyticsClient::updateConsent(const AnalyticsConsent& consent)
{
    if (!m_configured) {
        m_consent = consent;
        m_configured = true;
        // Consent changes between launches, so an install id left from extended mode in an earlier run
        // must go as soon as this run starts without it.
        if (AnalyticsModes::fromConsent(consent) != AnalyticsMode::Extended)
            m_defaults->remove(installIDKey);
        return;
    }
    const AnalyticsMode previous = AnalyticsModes::fromConsent(m_consent);
    m_consent = consent;
    consentDidChange(previous, AnalyticsModes::fromConsent(m_consent));
}

void PostHogAnalyticsClient::consentDidChange(AnalyticsMode previous, AnalyticsMode current)
{
    if (previous == AnalyticsMode::Extended && current != AnalyticsMode::Extended) {
        m_directTransport->cancelAll();
        m_defaults->remove(installIDKey);
    } else if (previous != AnalyticsMode::Off && current == AnalyticsMode::Off) {
        m_directTransport->cancelAll();
    }
}

void PostHogAnalyticsClient::capture(const AnalyticsEvent& event)
{
    if (!m_configured)
        updateConsent(m_consent);
    if (!m_consent.anonymousAnalyticsEnabled)
        return;

    const AnalyticsMode mode = m_consent.extendedAnalyticsEnabled ? AnalyticsMode::Extended : AnalyticsMode::Anonymous;
    CapturePayload payload = makeCapturePayload(mode, m_environment, event);
    const QString distinctID = mode == AnalyticsMode::Extended ? installID() : m_anonymousID();
    m_directTransport->send(PostHogCaptureRequest{m_configuration.projectToken, m_configuration.host,
                                                  std::move(payload.eventName), distinctID,
                                                  std::move(payload.properties)});
}

QString PostHogAnalyticsClient::installID()
{
    if (const std::optional<QString> stored = m_defaults->stringValue(installIDKey); stored && !stored->isEmpty())
        return *stored;
    const QString id = newIdentity();
    m_defaults->setValue(installIDKey, id);
    return id;
}

std::unique_ptr<AnalyticsCapturing> makeAnalyticsClient(const BundleInfo& bundle,
                                                        std::shared_ptr<UserDefaults> defaults)
{
    std::optional<AnalyticsConfiguration> configuration = AnalyticsConfiguration::fromBundle(bundle);
    if (!configuration)
        return std::make_unique<NoopAnalyticsClient>();
    return std::make_unique<PostHogAnalyticsClient>(std::move(*configuration), AnalyticsEnvironment::current(bundle),
                                                    std::make_unique<URLSessionPostHogDirectTransport>(),
                                                    std::move(defaults));
}

std::unique_ptr<AnalyticsCapturing> makeAnalyticsClient()
{
    return makeAnalyticsClient(BundleInfo::main(), std::make_shared<SettingsUserDefaults>(reportSettingsProblem));
}
