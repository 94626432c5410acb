#pragma once

#include "base/apperror.h"
#include "telemetry/telemetryclient.h"

#include <QList>

#include <typeinfo>

// Records the reports the application makes, in place of the process-wide client.
class RecordingTelemetryClient final : public TelemetryClient
{
public:
    struct Error
    {
        // AppError's typeName() and description(); for other errors the C++ type and what().
        QString typeName;
        QString description;
        TelemetryOperation operation;
        TelemetryProperties properties;
    };
    struct Message
    {
        QString message;
        TelemetryOperation operation;
        TelemetryProperties properties;
    };

    void captureError(const std::exception& error, TelemetryOperation operation,
                      const TelemetryProperties& properties) override
    {
        if (const auto* appError = dynamic_cast<const AppError*>(&error))
            errors.append({appError->typeName(), appError->description(), operation, properties});
        else
            errors.append(
                {QString::fromUtf8(typeid(error).name()), QString::fromUtf8(error.what()), operation, properties});
    }

    void captureMessage(const QString& message, TelemetryOperation operation,
                        const TelemetryProperties& properties) override
    {
        messages.append({message, operation, properties});
    }

    void sendSmokeTest() override { ++smokeTests; }

    // Makes a new recorder the process-wide client; the process owns it, the test reads it.
    static RecordingTelemetryClient* installShared()
    {
        auto client = std::make_unique<RecordingTelemetryClient>();
        RecordingTelemetryClient* raw = client.get();
        setSharedTelemetryClient(std::move(client));
        return raw;
    }

    QList<Error> errors;
    QList<Message> messages;
    int smokeTests = 0;
};
