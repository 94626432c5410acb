#include "support/privatebus.h"

#include <QStandardPaths>

using namespace Qt::StringLiterals;

QString startPrivateSessionBus(QProcess& daemon, const QString& folder, int timeoutMs)
{
    const QString program = QStandardPaths::findExecutable(u"dbus-daemon"_s);
    if (program.isEmpty())
        return {};
    daemon.start(program, {u"--session"_s, u"--nofork"_s, u"--nopidfile"_s, u"--print-address=1"_s,
                           u"--address=unix:dir="_s + folder});
    if (!daemon.waitForStarted(timeoutMs))
        return {};
    while (!daemon.canReadLine() && daemon.waitForReadyRead(timeoutMs)) {
    }
    return QString::fromUtf8(daemon.readLine()).trimmed();
}
