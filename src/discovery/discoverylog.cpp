#include "discovery/discoverylog.h"

Q_LOGGING_CATEGORY(lcDiscovery, "porthive.discovery", QtWarningMsg)
Q_LOGGING_CATEGORY(lcProjects, "porthive.projects", QtCriticalMsg)
