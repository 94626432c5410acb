#pragma once

#include <QByteArray>
#include <QtGui/qtguiglobal.h>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>

// The application's own connection to the X server (Qt's), where it runs on X11, and the few look-ups the tray
// needs on it. Events for windows of our own arrive through Qt's native event filters.
namespace X11 {

// Null where the application does not run on the xcb platform.
xcb_connection_t* connection();
// The screen DISPLAY names (":0.1" is screen 1).
int screenNumber();
// That screen of `connection`; null when the server has no such screen.
xcb_screen_t* screen(xcb_connection_t* connection);
// XCB_NONE when the server does not answer.
xcb_atom_t atom(xcb_connection_t* connection, const QByteArray& name);
// The system tray's selection on that screen, "_NET_SYSTEM_TRAY_S<n>".
QByteArray traySelectionName();

} // namespace X11
#endif
