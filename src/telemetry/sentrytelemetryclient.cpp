#include "telemetry/sentrytelemetryclient.h"

#include "platform/updates/bundleinfo.h"
#include "telemetry/redaction.h"
#include "telemetry/sentrysdk.h"
#include "telemetry/telemetrylog.h"

using namespace Qt::StringLiterals;

namespace {

// A bundle value counts when, trimmed, it is not empty and not an unexpanded build variable.
std::optional<QString> bundleText(const BundleInfo& bundle, const QString& key)
{
    const std::optional<QString> value = bundle.value(key);
    if (!value)
        return std::nullopt;
    const QString trimmed = value->trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u"$("_s))
        return std::nullopt;
    return trimmed;
}

} // namespace

std::optional<SentryTelemetryConfiguration> SentryTelemetryConfiguration::fromBundle(const BundleInfo& bundle)
{
    const std::optional<QString> dsn = bundleText(bundle, u"PorthiveSentryDSN"_s);
    if (!dsn)
        return std::nullopt;
    if (!dsn->startsWith(u"http"_s)) {
        // The address itself carries the project's key: not logged.
        qCDebug(lcTelemetry) << "PorthiveSentryDSN is no http(s) address: error reports stay off";
        return std::nullopt;
    }
    const QString environment = bundleText(bundle, u"PorthiveSentryEnvironment"_s).value_or(u"development"_s);
    const QString identifier = bundleText(bundle, u"CFBundleIdentifier"_s).value_or(u"com.vemo.porthive"_s);
    const QString version = bundleText(bundle, u"CFBundleShortVersionString"_s).value_or(u"0.0.0"_s);
    const QString build = bundleText(bundle, u"CFBundleVersion"_s).value_or(u"0"_s);
    return SentryTelemetryConfiguration{*dsn, environment, identifier + u'@' + version + u'+' + build, build};
}

SentryTelemetryClient::SentryTelemetryClient(SentryTelemetryConfiguration configuration, std::unique_ptr<SentrySdk> sdk)
    : m_configuration(std::move(configuration))
    , m_sdk(std::move(sdk))
{}

SentryTelemetryClient::~SentryTelemetryClient() = default;

std::unique_ptr<SentrySdk> SentryTelemetryClient::startSdk(const SentryTelemetryConfiguration& configuration)
{
    return SentrySdk::start([&configuration](SentryOptions& options) {
        options.dsn = configuration.dsn;
        options.environment = configuration.environment;
        options.releaseName = configuration.releaseName;
        options.dist = configuration.dist;
        options.tracesSampleRate = 0;
        options.attachAllThreads = false;
        options.sendDefaultPii = false;
        options.enableAutoSessionTracking = false;
        options.enableAutoBreadcrumbTracking = false;
        options.enableNetworkBreadcrumbs = false;
        options.enableNetworkTracking = false;
        options.beforeSend = [](SentryEvent event) {
            return std::optional<SentryEvent>(scrubEvent(std::move(event)));
        };
    });
}

std::unique_ptr<TelemetryClient> SentryTelemetryClient::fromBundle(const BundleInfo& bundle)
{
    std::optional<SentryTelemetryConfiguration> configuration = SentryTelemetryConfiguration::fromBundle(bundle);
    if (!configuration)
        return std::make_unique<DisabledTelemetryClient>();
    std::unique_ptr<SentrySdk> sdk = startSdk(*configuration);
    if (!sdk)
        return std::make_unique<DisabledTelemetryClient>();
    return std::make_unique<SentryTelemetryClient>(std::move(*configuration), std::move(sdk));
}

void SentryTelemetryClient::bootstrap(const BundleInfo& bundle)
{
    setSharedTelemetryClient(fromBundle(bundle));
}

void SentryTelemetryClient::captureError(const std::exception& error, TelemetryOperation operation,
                                         const TelemetryProperties& properties)
{
    const QString name = TelemetryOperations::name(operation);
    m_sdk->capture(error, [&name, &properties](SentryScope& scope) {
        scope.setTag(u"operation"_s, name);
        scope.setTag(u"app"_s, u"porthive"_s);
        scope.setExtra(u"operation"_s, name);
        for (auto it = properties.cbegin(); it != properties.cend(); ++it)
            scope.setExtra(it.key(), it.value());
    });
}

void SentryTelemetryClient::captureMessage(const QString& message, TelemetryOperation operation,
                                           const TelemetryProperties& properties)
{
    const QString name = TelemetryOperations::name(operation);
    SentryEvent event;
    event.level = SentryLevel::Warning;
    event.message = SentryMessage{message, {}, {}};
    event.release = m_configuration.releaseName;
    event.dist = m_configuration.dist;
    event.environment = m_configuration.environment;
    event.tags = {{u"app"_s, u"porthive"_s}, {u"operation"_s, name}};
    event.extras.insert(u"operation"_s, name);
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        event.extras.insert(it.key(), it.value());
    // One group per operation, whatever the message says.
    event.fingerprint = {u"porthive"_s, name};
    m_sdk->capture(std::move(event));
}

void SentryTelemetryClient::sendSmokeTest()
{
    SentryBreadcrumb breadcrumb;
    breadcrumb.level = SentryLevel::Info;
    breadcrumb.category = u"diagnostic"_s;
    breadcrumb.message = u"porthive.sentry.smoke"_s;
    breadcrumb.data = {
        {u"app"_s, u"porthive"_s}, {u"operation"_s, u"sentry.smoke"_s}, {u"release"_s, m_configuration.releaseName}};
    m_sdk->addBreadcrumb(std::move(breadcrumb));
    m_sdk->flush(smokeFlushTimeout);
}

SentryEvent SentryTelemetryClient::scrubEvent(SentryEvent event)
{
    if (event.message)
        event.message = SentryMessage{redactTelemetryText(event.message->formatted), {}, {}};
    if (!event.tags.isEmpty())
        event.tags = redactTelemetryProperties(event.tags);
    for (auto it = event.extras.begin(); it != event.extras.end(); ++it) {
        if (it.value().typeId() == QMetaType::QString)
            it.value() = redactTelemetryText(it.value().toString());
    }
    for (SentryException& exception : event.exceptions) {
        if (exception.value)
            exception.value = redactTelemetryText(*exception.value);
    }
    event.request.reset();
    event.serverName.reset();
    SentryUser user;
    user.ipAddress = QString();
    event.user = user;
    // Only this product's reports carry an "operation" tag; crash reports keep their stacks.
    if (event.tags.contains(u"operation"_s)) {
        event.threads = {};
        event.stacktrace = {};
        event.debugMeta = {};
        event.breadcrumbs.clear();
    }
    return event;
}
