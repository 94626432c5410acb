#include "platform/desktop/x11connection.h"

#if QT_CONFIG(xcb)
#include <QGuiApplication>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace X11 {

xcb_connection_t* connection()
{
    // The offscreen platform may offer the interface without a connection behind it.
    if (!qGuiApp || QGuiApplication::platformName() != u"xcb"_s)
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

int screenNumber()
{
    const QString display = qEnvironmentVariable("DISPLAY");
    const qsizetype colon = display.lastIndexOf(u':');
    const qsizetype dot = display.indexOf(u'.', colon);
    if (colon < 0 || dot < 0)
        return 0;
    bool ok = false;
    const int screen = display.mid(dot + 1).toInt(&ok);
    return ok ? screen : 0;
}

xcb_screen_t* screen(xcb_connection_t* connection)
{
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber(); ++i) {
        if (screens.rem <= 1)
            return nullptr;
        xcb_screen_next(&screens);
    }
    return screens.rem > 0 ? screens.data : nullptr;
}

xcb_atom_t atom(xcb_connection_t* connection, const QByteArray& name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_NONE);
    free(reply);
    return value;
}

QByteArray traySelectionName()
{
    return "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber());
}

} // namespace X11
#endif
