#include "platform/logfolder.h"

#include <QDir>

QString privateLogFolder()
{
#if defined(Q_OS_MACOS)
    return QDir::homePath() + QStringLiteral("/Library/Logs/Porthive");
#else
    // The per-user state folder stands in for the library; the name beneath it is the same on every platform.
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!state.isEmpty() && QDir::isAbsolutePath(state))
        return QDir::cleanPath(state) + QStringLiteral("/Logs/Porthive");
    return QDir::homePath() + QStringLiteral("/.local/state/Logs/Porthive");
#endif
}
