#include "control/controllog.h"

Q_LOGGING_CATEGORY(lcControl, "porthive.control", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLogs, "porthive.logs", QtCriticalMsg)
