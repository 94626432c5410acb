#include "telemetry/telemetrylog.h"

Q_LOGGING_CATEGORY(lcTelemetry, "porthive.telemetry", QtWarningMsg)
