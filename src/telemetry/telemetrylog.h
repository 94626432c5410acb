#pragma once

#include <QLoggingCategory>

// Developer diagnostics of usage analytics and error reports; silent unless switched on
// (QT_LOGGING_RULES="porthive.telemetry.debug=true"). Never the events or their content.
Q_DECLARE_LOGGING_CATEGORY(lcTelemetry)
