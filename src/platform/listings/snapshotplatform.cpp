#include "platform/listings/snapshotplatform.h"

namespace SnapshotPlatform {

SnapshotSource defaultSource()
{
#if defined(Q_OS_LINUX)
    return SnapshotSource::SocketDiagnostics;
#else
    return SnapshotSource::SystemTools;
#endif
}

QString utf8Locale()
{
#if defined(Q_OS_MACOS)
    return QStringLiteral("en_US.UTF-8");
#else
    return QStringLiteral("C.UTF-8");
#endif
}

} // namespace SnapshotPlatform
