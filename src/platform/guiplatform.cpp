#include "platform/guiplatform.h"

using namespace Qt::StringLiterals;

namespace GuiPlatform {

QString preferred(const QProcessEnvironment& environment)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const auto isSet = [&environment](const QString& name) {
        return !environment.value(name).isEmpty();
    };
    const bool waylandSession = environment.value(u"XDG_SESSION_TYPE"_s) == u"wayland"_s || isSet(u"WAYLAND_DISPLAY"_s);
    if (waylandSession && isSet(u"DISPLAY"_s) && !isSet(u"QT_QPA_PLATFORM"_s))
        return u"xcb"_s;
#else
    Q_UNUSED(environment);
#endif
    return {};
}

} // namespace GuiPlatform
