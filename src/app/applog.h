#pragma once

#include <QLoggingCategory>

// Developer diagnostics of the application's start and its window; silent unless switched on
// (QT_LOGGING_RULES="porthive.startup.info=true").
Q_DECLARE_LOGGING_CATEGORY(lcStartup)
Q_DECLARE_LOGGING_CATEGORY(lcWindow)
