#pragma once

#include <QLoggingCategory>

// Developer diagnostics of the window's models (QT_LOGGING_RULES="porthive.logviewer.debug=true"); the log
// page's are silent unless switched on, a missing symbol font is warned about.
Q_DECLARE_LOGGING_CATEGORY(lcSymbols)
Q_DECLARE_LOGGING_CATEGORY(lcLogViewer)
