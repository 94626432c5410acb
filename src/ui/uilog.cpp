#include "uilog.h"

// The symbol font.
Q_LOGGING_CATEGORY(lcSymbols, "porthive.symbols")
// The log page.
Q_LOGGING_CATEGORY(lcLogViewer, "porthive.logviewer", QtCriticalMsg)
