#include "app/applog.h"

Q_LOGGING_CATEGORY(lcStartup, "porthive.startup", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWindow, "porthive.window", QtWarningMsg)
