#include "platform/platformlog.h"

// Process and socket listings.
Q_LOGGING_CATEGORY(lcListings, "porthive.listings", QtWarningMsg)
// Starting and watching child processes, the login shell.
Q_LOGGING_CATEGORY(lcLaunching, "porthive.launching", QtWarningMsg)
// Settings and private files.
Q_LOGGING_CATEGORY(lcStorage, "porthive.storage", QtWarningMsg)
// The tray icon and the tray hosts.
Q_LOGGING_CATEGORY(lcTray, "porthive.tray", QtWarningMsg)
