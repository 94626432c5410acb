#include "platform/desktop/platformtexts.h"

using namespace Qt::StringLiterals;

namespace PlatformTexts {

#if defined(Q_OS_MACOS)

QString loginItemApprovalMessage()
{
    return u"Approve Porthive in macOS Login Items."_s;
}

QString openLoginItemSettings()
{
    return u"Open Login Items"_s;
}

QString revealInFileManager()
{
    return u"Reveal in Finder"_s;
}

#else

QString loginItemApprovalMessage()
{
    return u"Approve Porthive in your desktop's startup settings."_s;
}

QString openLoginItemSettings()
{
    return u"Open Startup Settings"_s;
}

QString revealInFileManager()
{
    return u"Show in File Manager"_s;
}

#endif

} // namespace PlatformTexts
