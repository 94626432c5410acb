#pragma once

#include <QHash>
#include <QString>

#include <exception>
#include <memory>

class SettingsFileError;

// The operation a report is about; its dotted name travels with every report.
enum class TelemetryOperation
{
    DetectorRefresh,
    LaunchAtLoginDefaultEnable,
    LaunchAtLoginUpdate,
    ProjectReveal,
    ServerOpen,
    ServerForceTerminate,
    ServerPause,
    ServerRevealProject,
    ServerResume,
    ServerRestart,
    ProjectStart,
    SettingsRead,
    SettingsWrite
};

namespace TelemetryOperations {

QString name(TelemetryOperation operation);

} // namespace TelemetryOperations

using TelemetryProperties = QHash<QString, QString>;

// The error-reporting client. Callers redact their messages and pass their properties through
// telemetryContext() first.
class TelemetryClient
{
public:
    virtual ~TelemetryClient() = default;
    virtual void captureError(const std::exception& error, TelemetryOperation operation,
                              const TelemetryProperties& properties) = 0;
    virtual void captureMessage(const QString& message, TelemetryOperation operation,
                                const TelemetryProperties& properties) = 0;
    virtual void sendSmokeTest() = 0;
};

// Used when the build carries no error-reporting DSN.
class DisabledTelemetryClient final : public TelemetryClient
{
public:
    void captureError(const std::exception&, TelemetryOperation, const TelemetryProperties&) override {}
    void captureMessage(const QString&, TelemetryOperation, const TelemetryProperties&) override {}
    void sendSmokeTest() override {}
};

// The one process-wide client: a DisabledTelemetryClient until start-up installs another. GUI thread only.
TelemetryClient& sharedTelemetryClient();
// Replaces the process-wide client (null installs a disabled one). The installed client is destroyed at the
// latest when the application object is, so its threads end before the process does.
void setSharedTelemetryClient(std::unique_ptr<TelemetryClient> client);

// The property keys a report may carry.
const QList<QString>& telemetryAllowedKeys();
// Redacts every value, then keeps only the allowed keys.
TelemetryProperties telemetryContext(const TelemetryProperties& properties);

// The "failure_category" of a failed restart or project start.
QString actionFailureCategory(const std::exception& error);
// Reports a failed restart or project start with its category (and exit status for a failed launch), never
// with the error's own text, which may hold the log.
void reportProcessActionFailure(const std::exception& error, TelemetryOperation operation);
// Reports a settings file that could not be read ("settings.read") or written ("settings.write"). Any thread: the
// report itself is made on the application's thread.
void reportSettingsProblem(const SettingsFileError& problem);
