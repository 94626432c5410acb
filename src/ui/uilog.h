#pragma once

#include <QLoggingCategory>

// Developer diagnostics of the window's models; silent unless switched on
// (QT_LOGGING_RULES="porthive.logviewer.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcSymbols)
Q_DECLARE_LOGGING_CATEGORY(lcLogViewer)
