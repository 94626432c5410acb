#pragma once

#include <QProcessEnvironment>
#include <QString>

// Which Qt platform plugin the application starts on, and how its window is drawn.
namespace GuiPlatform {

// "xcb;wayland" in a Wayland session that also offers X11 (XWayland) when the user has not chosen a platform
// (QT_QPA_PLATFORM unset or empty); otherwise empty, which keeps Qt's own choice. The tray window places itself
// under its icon and the X11 tray exists only on X11: on Wayland a client may not place its windows. Qt tries the
// platforms in order, so a DISPLAY with no X server behind it ends on Wayland instead of aborting.
QString preferred(const QProcessEnvironment& environment);

// True unless the user chose a scene graph (QT_QUICK_BACKEND, its older name QMLSCENE_DEVICE, or QSG_RHI_BACKEND):
// the window is a short list that Qt Quick's software renderer draws the same, while the GPU path loads the GL
// driver into the process and keeps it there for the rest of the day.
bool prefersSoftwareSceneGraph(const QProcessEnvironment& environment);

} // namespace GuiPlatform
