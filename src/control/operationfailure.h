#pragma once

#include "control/serverlogsession.h"
#include "telemetry/telemetryclient.h"

#include <QString>

#include <exception>
#include <optional>

// What a failed scan or action threw, reduced to what the store shows and reports. Shared by the refresh cycle and
// both kinds of action, so each reads a failure and reports it the same way.
struct OperationFailure
{
    std::exception_ptr error;
    // AppError::typeName(), a standard exception's own type name, or a fixed name for anything else.
    QString typeName;
    QString description;

    static OperationFailure describe(std::exception_ptr error);
    // Sends the error to the telemetry client.
    void capture(TelemetryOperation operation, const TelemetryProperties& properties) const;
    // Reports the error as a process action's failure.
    void reportProcessFailure(TelemetryOperation operation) const;
    // Whether a restart failed while preparing, before it sent the old server anything.
    bool failedBeforeStopping() const;
    // The session a launch that failed after starting carries, so its output can be shown.
    std::optional<ServerLogSession> failedLaunchSession() const;
};
