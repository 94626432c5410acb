#pragma once

#include <QLoggingCategory>

// Developer diagnostics of the actions on servers; silent unless switched on
// (QT_LOGGING_RULES="porthive.control.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcControl)
// The servers' log files.
Q_DECLARE_LOGGING_CATEGORY(lcLogs)
