#include "platform/desktop/guiplatform.h"

using namespace Qt::StringLiterals;

namespace GuiPlatform {

namespace {

bool isSet(const QProcessEnvironment& environment, const QString& name)
{
    return !environment.value(name).isEmpty();
}

} // namespace

QString preferred(const QProcessEnvironment& environment)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const bool waylandSession =
        environment.value(u"XDG_SESSION_TYPE"_s) == u"wayland"_s || isSet(environment, u"WAYLAND_DISPLAY"_s);
    if (waylandSession && isSet(environment, u"DISPLAY"_s) && !isSet(environment, u"QT_QPA_PLATFORM"_s))
        return u"xcb;wayland"_s;
#else
    Q_UNUSED(environment);
#endif
    return {};
}

bool prefersSoftwareSceneGraph(const QProcessEnvironment& environment)
{
    return !isSet(environment, u"QT_QUICK_BACKEND"_s) && !isSet(environment, u"QMLSCENE_DEVICE"_s) &&
           !isSet(environment, u"QSG_RHI_BACKEND"_s);
}

} // namespace GuiPlatform
