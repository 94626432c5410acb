#include "telemetry/telemetryclient.h"

#include "base/apperror.h"
#include "platform/storage/jsonsettingsfile.h"
#include "telemetry/redaction.h"

#include <QCoreApplication>
#include <QThread>

using namespace Qt::StringLiterals;

namespace TelemetryOperations {

QString name(TelemetryOperation operation)
{
    switch (operation) {
    case TelemetryOperation::DetectorRefresh:
        return u"detector.refresh"_s;
    case TelemetryOperation::LaunchAtLoginDefaultEnable:
        return u"launch_at_login.default_enable"_s;
    case TelemetryOperation::LaunchAtLoginUpdate:
        return u"launch_at_login.update"_s;
    case TelemetryOperation::ProjectReveal:
        return u"project.reveal"_s;
    case TelemetryOperation::ServerOpen:
        return u"server.open"_s;
    case TelemetryOperation::ServerForceTerminate:
        return u"server.force_terminate"_s;
    case TelemetryOperation::ServerPause:
        return u"server.pause"_s;
    case TelemetryOperation::ServerRevealProject:
        return u"server.reveal_project"_s;
    case TelemetryOperation::ServerResume:
        return u"server.resume"_s;
    case TelemetryOperation::ServerRestart:
        return u"server.restart"_s;
    case TelemetryOperation::ProjectStart:
        return u"project.start"_s;
    case TelemetryOperation::SettingsRead:
        return u"settings.read"_s;
    case TelemetryOperation::SettingsWrite:
        return u"settings.write"_s;
    }
    Q_UNREACHABLE();
    return {};
}

} // namespace TelemetryOperations

namespace {

std::unique_ptr<TelemetryClient>& sharedClientSlot()
{
    static std::unique_ptr<TelemetryClient> client;
    return client;
}

void releaseSharedClient()
{
    sharedClientSlot().reset();
}

} // namespace

TelemetryClient& sharedTelemetryClient()
{
    std::unique_ptr<TelemetryClient>& slot = sharedClientSlot();
    if (!slot)
        slot = std::make_unique<DisabledTelemetryClient>();
    return *slot;
}

void setSharedTelemetryClient(std::unique_ptr<TelemetryClient> client)
{
    static const bool releaseRegistered = [] {
        qAddPostRoutine(releaseSharedClient);
        return true;
    }();
    Q_UNUSED(releaseRegistered);
    sharedClientSlot() = client ? std::move(client) : std::make_unique<DisabledTelemetryClient>();
}

const QList<QString>& telemetryAllowedKeys()
{
    static const QList<QString> keys{
        u"runtime_kind"_s, u"http_status"_s,        u"active_connection_count"_s, u"target_state"_s, u"actual_status"_s,
        u"had_servers"_s,  u"known_server_count"_s, u"failure_category"_s,        u"exit_code"_s,
    };
    return keys;
}

TelemetryProperties telemetryContext(const TelemetryProperties& properties)
{
    const TelemetryProperties redacted = redactTelemetryProperties(properties);
    TelemetryProperties allowed;
    for (auto it = redacted.cbegin(); it != redacted.cend(); ++it) {
        if (telemetryAllowedKeys().contains(it.key()))
            allowed.insert(it.key(), it.value());
    }
    return allowed;
}

QString actionFailureCategory(const std::exception& error)
{
    if (const auto* appError = dynamic_cast<const AppError*>(&error))
        return appError->failureCategory();
    return u"unknown"_s;
}

void reportProcessActionFailure(const std::exception& error, TelemetryOperation operation)
{
    TelemetryProperties properties{{u"failure_category"_s, actionFailureCategory(error)}};
    const auto* appError = dynamic_cast<const AppError*>(&error);
    if (const std::optional<qint32> status = appError ? appError->failureExitStatus() : std::nullopt)
        properties.insert(u"exit_code"_s, QString::number(*status));
    sharedTelemetryClient().captureMessage(redactTelemetryText(u"Process action failed"_s), operation,
                                           telemetryContext(properties));
}

void reportSettingsProblem(const SettingsFileError& problem)
{
    const TelemetryOperation operation = problem.kind() == SettingsFileError::Kind::Unreadable
                                             ? TelemetryOperation::SettingsRead
                                             : TelemetryOperation::SettingsWrite;
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread()) {
        QMetaObject::invokeMethod(
            app, [problem, operation] { sharedTelemetryClient().captureError(problem, operation, {}); },
            Qt::QueuedConnection);
        return;
    }
    sharedTelemetryClient().captureError(problem, operation, {});
}
