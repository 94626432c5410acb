#pragma once

#include <QLoggingCategory>

// One category per part of the platform layer, for developer diagnostics: silent unless switched on
// (QT_LOGGING_RULES="porthive.listings.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcListings)
Q_DECLARE_LOGGING_CATEGORY(lcLaunching)
Q_DECLARE_LOGGING_CATEGORY(lcStorage)
Q_DECLARE_LOGGING_CATEGORY(lcTray)
