#pragma once

#include <QProcess>
#include <QString>

// Starts a session bus of the test's own in `folder` (so no real desktop service is ever asked) and returns
// its address; empty when dbus-daemon is missing or did not print an address within `timeoutMs`.
QString startPrivateSessionBus(QProcess& daemon, const QString& folder, int timeoutMs = 30000);
