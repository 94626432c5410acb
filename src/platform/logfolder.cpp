#include "platform/logfolder.h"

#include <QDir>

QString privateLogFolder()
{
#if defined(Q_OS_MACOS)
    return QDir::homePath() + QStringLiteral("/Library/Logs/Porthive");
#else
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!state.isEmpty() && QDir::isAbsolutePath(state))
        return QDir::cleanPath(state) + QStringLiteral("/porthive/logs");
    return QDir::homePath() + QStringLiteral("/.local/state/porthive/logs");
#endif
}
