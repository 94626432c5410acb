#pragma once

#include "base/runtimekind.h"
#include "telemetry/analyticsconsent.h"
#include "telemetry/analyticsenvironment.h"

#include <QJsonValue>
#include <QMap>
#include <QString>

#include <exception>
#include <optional>
#include <variant>

// One property value of a usage event.
class AnalyticsValue
{
public:
    static AnalyticsValue string(QString text)
    {
        return AnalyticsValue(Storage(std::in_place_index<0>, std::move(text)));
    }
    static AnalyticsValue integer(qint64 number) { return AnalyticsValue(Storage(std::in_place_index<1>, number)); }
    static AnalyticsValue boolean(bool flag) { return AnalyticsValue(Storage(std::in_place_index<2>, flag)); }

    bool isString() const { return m_value.index() == 0; }
    bool isInteger() const { return m_value.index() == 1; }
    bool isBoolean() const { return m_value.index() == 2; }
    QString toString() const { return isString() ? std::get<0>(m_value) : QString(); }
    qint64 toInteger() const { return isInteger() ? std::get<1>(m_value) : 0; }
    bool toBoolean() const { return isBoolean() && std::get<2>(m_value); }

    QJsonValue toJson() const;
    // For test output and diagnostics: "text", 42, true.
    QString debugText() const;

    friend bool operator==(const AnalyticsValue&, const AnalyticsValue&) = default;

private:
    using Storage = std::variant<QString, qint64, bool>;
    explicit AnalyticsValue(Storage value)
        : m_value(std::move(value))
    {}

    Storage m_value;
};

using AnalyticsProperties = QMap<QString, AnalyticsValue>;

enum class RefreshFailureCategory
{
    PermissionDenied,
    CommandUnavailable,
    Timeout,
    Unknown
};

enum class ServerAnalyticsAction
{
    Open,
    RevealProject,
    ForceTerminate,
    Pause,
    Resume,
    Restart
};

enum class ProjectAnalyticsAction
{
    RevealProject,
    Start,
    Remove
};

namespace AnalyticsTexts {

QString text(RefreshFailureCategory category);
QString text(ServerAnalyticsAction action);
QString text(ProjectAnalyticsAction action);

} // namespace AnalyticsTexts

// The usage events with their payloads.
class AnalyticsEvent
{
public:
    struct AnalyticsConsentChanged
    {
        AnalyticsConsent consent;
        friend bool operator==(const AnalyticsConsentChanged&, const AnalyticsConsentChanged&) = default;
    };
    struct ServerRefreshCompleted
    {
        qint64 runningCount = 0;
        qint64 savedCount = 0;
        // Kinds without a server may be left out; they count as 0.
        QMap<RuntimeKind, qint64> runtimeCounts;
        friend bool operator==(const ServerRefreshCompleted&, const ServerRefreshCompleted&) = default;
    };
    struct ServerRefreshFailed
    {
        bool hadCachedServers = false;
        RefreshFailureCategory category = RefreshFailureCategory::Unknown;
        friend bool operator==(const ServerRefreshFailed&, const ServerRefreshFailed&) = default;
    };
    struct ServerActionRequested
    {
        ServerAnalyticsAction action = ServerAnalyticsAction::Open;
        RuntimeKind runtimeKind = RuntimeKind::Node;
        bool hasProjectPath = false;
        std::optional<int> httpStatus;
        friend bool operator==(const ServerActionRequested&, const ServerActionRequested&) = default;
    };
    struct ProjectActionRequested
    {
        ProjectAnalyticsAction action = ProjectAnalyticsAction::Start;
        RuntimeKind runtimeKind = RuntimeKind::Node;
        friend bool operator==(const ProjectActionRequested&, const ProjectActionRequested&) = default;
    };
    struct AppLaunched
    {
        friend bool operator==(const AppLaunched&, const AppLaunched&) = default;
    };
    struct SettingsOpened
    {
        friend bool operator==(const SettingsOpened&, const SettingsOpened&) = default;
    };

    using Payload = std::variant<AnalyticsConsentChanged, ServerRefreshCompleted, ServerRefreshFailed,
                                 ServerActionRequested, ProjectActionRequested, AppLaunched, SettingsOpened>;

    AnalyticsEvent(Payload payload)
        : m_payload(std::move(payload))
    {}

    static AnalyticsEvent analyticsConsentChanged(AnalyticsConsent consent);
    static AnalyticsEvent serverRefreshCompleted(qint64 runningCount, qint64 savedCount,
                                                 QMap<RuntimeKind, qint64> runtimeCounts);
    static AnalyticsEvent serverRefreshFailed(bool hadCachedServers, RefreshFailureCategory category);
    static AnalyticsEvent serverActionRequested(ServerAnalyticsAction action, RuntimeKind runtimeKind,
                                                bool hasProjectPath, std::optional<int> httpStatus);
    static AnalyticsEvent projectActionRequested(ProjectAnalyticsAction action, RuntimeKind runtimeKind);
    static AnalyticsEvent appLaunched() { return AnalyticsEvent(AppLaunched{}); }
    static AnalyticsEvent settingsOpened() { return AnalyticsEvent(SettingsOpened{}); }

    const Payload& payload() const { return m_payload; }
    // The event name the capture endpoint receives, "porthive_..." in snake case.
    QString name() const;

    friend bool operator==(const AnalyticsEvent&, const AnalyticsEvent&) = default;

private:
    Payload m_payload;
};

struct CapturePayload
{
    QString eventName;
    AnalyticsProperties properties;

    friend bool operator==(const CapturePayload&, const CapturePayload&) = default;
};

// The base keys, the environment in extended mode only, then the event's own properties.
CapturePayload makeCapturePayload(AnalyticsMode mode, const AnalyticsEnvironment& environment,
                                  const AnalyticsEvent& event);
void appendEventProperties(AnalyticsProperties& properties, AnalyticsMode mode, const AnalyticsEvent& event);

// Sorts a failed refresh by the words of its description (AppError::description(), else what()).
RefreshFailureCategory refreshFailureCategory(const std::exception& error);
RefreshFailureCategory refreshFailureCategory(const QString& description);
