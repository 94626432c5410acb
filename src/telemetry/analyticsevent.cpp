#include "telemetry/analyticsevent.h"

#include "base/apperror.h"

using namespace Qt::StringLiterals;

namespace {

template<class... Ts>
struct Overloaded : Ts...
{
    using Ts::operator()...;
};
template<class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

AnalyticsValue str(QString text)
{
    return AnalyticsValue::string(std::move(text));
}

AnalyticsValue num(qint64 number)
{
    return AnalyticsValue::integer(number);
}

AnalyticsValue flag(bool value)
{
    return AnalyticsValue::boolean(value);
}

} // namespace

QJsonValue AnalyticsValue::toJson() const
{
    return std::visit(Overloaded{[](const QString& text) { return QJsonValue(text); },
                                 [](qint64 number) { return QJsonValue(number); },
                                 [](bool value) {
                                     return QJsonValue(value);
                                 }},
                      m_value);
}

QString AnalyticsValue::debugText() const
{
    return std::visit(Overloaded{[](const QString& text) -> QString { return u'"' + text + u'"'; },
                                 [](qint64 number) -> QString { return QString::number(number); },
                                 [](bool value) -> QString {
                                     return value ? u"true"_s : u"false"_s;
                                 }},
                      m_value);
}

namespace AnalyticsTexts {

QString text(RefreshFailureCategory category)
{
    switch (category) {
    case RefreshFailureCategory::PermissionDenied:
        return u"permission_denied"_s;
    case RefreshFailureCategory::CommandUnavailable:
        return u"command_unavailable"_s;
    case RefreshFailureCategory::Timeout:
        return u"timeout"_s;
    case RefreshFailureCategory::Unknown:
        return u"unknown"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QString text(ServerAnalyticsAction action)
{
    switch (action) {
    case ServerAnalyticsAction::Open:
        return u"open"_s;
    case ServerAnalyticsAction::RevealProject:
        return u"reveal_project"_s;
    case ServerAnalyticsAction::ForceTerminate:
        return u"force_terminate"_s;
    case ServerAnalyticsAction::Pause:
        return u"pause"_s;
    case ServerAnalyticsAction::Resume:
        return u"resume"_s;
    case ServerAnalyticsAction::Restart:
        return u"restart"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QString text(ProjectAnalyticsAction action)
{
    switch (action) {
    case ProjectAnalyticsAction::RevealProject:
        return u"reveal_project"_s;
    case ProjectAnalyticsAction::Start:
        return u"start"_s;
    case ProjectAnalyticsAction::Remove:
        return u"remove"_s;
    }
    Q_UNREACHABLE();
    return {};
}

} // namespace AnalyticsTexts

AnalyticsEvent AnalyticsEvent::analyticsConsentChanged(AnalyticsConsent consent)
{
    return AnalyticsEvent(AnalyticsConsentChanged{consent});
}

AnalyticsEvent AnalyticsEvent::serverRefreshCompleted(qint64 runningCount, qint64 savedCount,
                                                      QMap<RuntimeKind, qint64> runtimeCounts)
{
    return AnalyticsEvent(ServerRefreshCompleted{runningCount, savedCount, std::move(runtimeCounts)});
}

AnalyticsEvent AnalyticsEvent::serverRefreshFailed(bool hadCachedServers, RefreshFailureCategory category)
{
    return AnalyticsEvent(ServerRefreshFailed{hadCachedServers, category});
}

AnalyticsEvent AnalyticsEvent::serverActionRequested(ServerAnalyticsAction action, RuntimeKind runtimeKind,
                                                     bool hasProjectPath, std::optional<int> httpStatus)
{
    return AnalyticsEvent(ServerActionRequested{action, runtimeKind, hasProjectPath, httpStatus});
}

AnalyticsEvent AnalyticsEvent::projectActionRequested(ProjectAnalyticsAction action, RuntimeKind runtimeKind)
{
    return AnalyticsEvent(ProjectActionRequested{action, runtimeKind});
}

QString AnalyticsEvent::name() const
{
    return std::visit(Overloaded{[](const AnalyticsConsentChanged&) { return u"porthive_analytics_consent_changed"_s; },
                                 [](const ServerRefreshCompleted&) { return u"porthive_server_refresh_completed"_s; },
                                 [](const ServerRefreshFailed&) { return u"porthive_server_refresh_failed"_s; },
                                 [](const ServerActionRequested&) { return u"porthive_server_action_requested"_s; },
                                 [](const ProjectActionRequested&) { return u"porthive_project_action_requested"_s; },
                                 [](const AppLaunched&) { return u"porthive_app_launched"_s; },
                                 [](const SettingsOpened&) {
                                     return u"porthive_settings_opened"_s;
                                 }},
                      m_payload);
}

CapturePayload makeCapturePayload(AnalyticsMode mode, const AnalyticsEnvironment& environment,
                                  const AnalyticsEvent& event)
{
    AnalyticsProperties properties;
    // Ask the endpoint for no location and no person profile.
    properties.insert(u"$geoip_disable"_s, flag(true));
    properties.insert(u"$process_person_profile"_s, flag(false));
    properties.insert(u"analytics_mode"_s, str(AnalyticsModes::text(mode)));
    if (mode == AnalyticsMode::Extended) {
        properties.insert(u"app_version"_s, str(environment.appVersion));
        properties.insert(u"app_build"_s, str(environment.appBuild));
        properties.insert(u"os_version"_s, str(environment.osVersion));
        properties.insert(u"architecture"_s, str(environment.architecture));
        properties.insert(u"locale_language"_s, str(environment.localeLanguage));
    }
    appendEventProperties(properties, mode, event);
    return CapturePayload{event.name(), properties};
}

void appendEventProperties(AnalyticsProperties& properties, AnalyticsMode mode, const AnalyticsEvent& event)
{
    std::visit(Overloaded{
                   [&](const AnalyticsEvent::AnalyticsConsentChanged& e) {
                       properties.insert(u"anonymous_enabled"_s, flag(e.consent.anonymousAnalyticsEnabled));
                       properties.insert(u"extended_enabled"_s, flag(e.consent.extendedAnalyticsEnabled));
                   },
                   [&](const AnalyticsEvent::ServerRefreshCompleted& e) {
                       properties.insert(u"running_count"_s, num(e.runningCount));
                       properties.insert(u"saved_count"_s, num(e.savedCount));
                       for (RuntimeKind kind : RuntimeKinds::allCases()) {
                           properties.insert(u"runtime_"_s + RuntimeKinds::rawValue(kind) + u"_count"_s,
                                             num(e.runtimeCounts.value(kind, 0)));
                       }
                   },
                   [&](const AnalyticsEvent::ServerRefreshFailed& e) {
                       properties.insert(u"had_cached_servers"_s, flag(e.hadCachedServers));
                       properties.insert(u"error_category"_s, str(AnalyticsTexts::text(e.category)));
                   },
                   [&](const AnalyticsEvent::ServerActionRequested& e) {
                       properties.insert(u"action"_s, str(AnalyticsTexts::text(e.action)));
                       properties.insert(u"runtime_kind"_s, str(RuntimeKinds::rawValue(e.runtimeKind)));
                       properties.insert(u"has_project_path"_s, flag(e.hasProjectPath));
                       properties.insert(u"has_http_status"_s, flag(e.httpStatus.has_value()));
                       if (e.httpStatus && mode == AnalyticsMode::Extended) {
                           properties.insert(u"http_status_class"_s,
                                             str(QString::number(*e.httpStatus / 100) + u"xx"_s));
                       }
                   },
                   [&](const AnalyticsEvent::ProjectActionRequested& e) {
                       properties.insert(u"action"_s, str(AnalyticsTexts::text(e.action)));
                       properties.insert(u"runtime_kind"_s, str(RuntimeKinds::rawValue(e.runtimeKind)));
                   },
                   [](const AnalyticsEvent::AppLaunched&) {},
                   [](const AnalyticsEvent::SettingsOpened&) {},
               },
               event.payload());
}

RefreshFailureCategory refreshFailureCategory(const std::exception& error)
{
    if (const auto* appError = dynamic_cast<const AppError*>(&error))
        return refreshFailureCategory(appError->description());
    return refreshFailureCategory(QString::fromUtf8(error.what()));
}

RefreshFailureCategory refreshFailureCategory(const QString& description)
{
    const QString text = description.toLower();
    const auto containsAny = [&text](std::initializer_list<QLatin1StringView> words) {
        for (QLatin1StringView word : words) {
            if (text.contains(word))
                return true;
        }
        return false;
    };
    if (containsAny({"permission"_L1, "operation not permitted"_L1}))
        return RefreshFailureCategory::PermissionDenied;
    if (containsAny({"not found"_L1, "no such file"_L1, "command"_L1}))
        return RefreshFailureCategory::CommandUnavailable;
    if (containsAny({"timed out"_L1, "timeout"_L1}))
        return RefreshFailureCategory::Timeout;
    return RefreshFailureCategory::Unknown;
}
