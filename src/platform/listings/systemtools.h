#pragma once

#include <QString>

// Paths of the system tools the discovery runs; launches go through the login shell (LoginShell).
namespace SystemTools {

inline QString processListTool()
{
    return QStringLiteral("/bin/ps");
}

inline QString socketListTool()
{
#if defined(Q_OS_MACOS)
    return QStringLiteral("/usr/sbin/lsof");
#else
    return QStringLiteral("/usr/bin/lsof");
#endif
}

} // namespace SystemTools
