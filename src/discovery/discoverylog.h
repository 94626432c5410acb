#pragma once

#include <QLoggingCategory>

// Developer diagnostics of the scans and what they read; silent unless switched on
// (QT_LOGGING_RULES="porthive.discovery.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)
// Remembered projects as they are read back.
Q_DECLARE_LOGGING_CATEGORY(lcProjects)
