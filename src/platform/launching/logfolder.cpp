#include "platform/launching/logfolder.h"

#include <QDir>

PrivateFolderLocation privateLogFolderLocation()
{
#if defined(Q_OS_MACOS)
    return {QDir::homePath() + QStringLiteral("/Library/Logs"), {QStringLiteral("Porthive")}};
#else
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    const QString base = !state.isEmpty() && QDir::isAbsolutePath(state)
                             ? QDir::cleanPath(state)
                             : QDir::homePath() + QStringLiteral("/.local/state");
    return {base, {QStringLiteral("porthive"), QStringLiteral("logs")}};
#endif
}

QString privateLogFolder()
{
    return privateLogFolderLocation().path();
}
