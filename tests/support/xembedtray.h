#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>

#include <xcb/xcb.h>

class QSocketNotifier;

// An X11 system tray of the test's own on an X display: it takes the tray selection of screen 0, docks every icon
// that asks (SYSTEM_TRAY_REQUEST_DOCK), each in an embedder window of the icon's visual with the tray's background
// colour, side by side in a panel along the top of the screen, gives it the tray's icon size and maps it as its
// _XEMBED_INFO asks. It runs on the Qt event loop, on a connection of its own; with the object the connection
// closes, as when a tray quits: the selection goes and the X server hands the icons back to the root window.
class XEmbedTray : public QObject
{
    Q_OBJECT

public:
    // What the tray names in _NET_SYSTEM_TRAY_VISUAL.
    enum class Visual
    {
        // No visual: icons use the screen's own.
        Unnamed,
        // The screen's own visual, named.
        Default,
        // A 32-bit TrueColor visual, with an alpha channel.
        Alpha
    };
    Q_ENUM(Visual)

    struct Options
    {
        Visual visual = Visual::Unnamed;
        QColor background = QColor(0x30, 0x60, 0x90);
        int iconSize = 24;
        // The panel's top-left corner on the screen.
        QPoint panel = QPoint(1000, 0);
    };

    XEmbedTray(QByteArray display, Options options);
    ~XEmbedTray() override;

    // Takes the selection, also from a tray that holds it. False without the display, or when the screen has no
    // visual of the kind asked for.
    bool start();
    const Options& options() const { return m_options; }
    // The visual named in _NET_SYSTEM_TRAY_VISUAL, 0 for none.
    quint32 namedVisual() const { return m_namedVisual; }
    // The screen's own visual.
    quint32 screenVisual() const { return m_screen ? m_screen->root_visual : 0; }

    // The icons docked and still there, in docking order.
    QList<quint32> icons();
    // Whether the tray still holds its selection (another tray may have taken it).
    bool holdsSelection();
    QRect iconGeometry(quint32 icon);
    bool iconViewable(quint32 icon) { return attributes(icon).viewable; }
    quint32 iconVisual(quint32 icon) { return attributes(icon).visual; }
    // The icon window's own pixels: premultiplied ARGB where it has 32 bits, RGB otherwise.
    QImage iconPixels(quint32 icon);
    // The raw value of a window's property, empty when it has none.
    QByteArray property(quint32 window, const QByteArray& name);
    // Gives every icon, and those still to come, a new size.
    void resizeIcons(int size);

private:
    struct Icon
    {
        xcb_window_t window = XCB_NONE;
        xcb_window_t embedder = XCB_NONE;
    };

    struct Attributes
    {
        bool viewable = false;
        quint32 visual = 0;
    };

    Attributes attributes(quint32 icon);
    void readEvents();
    void handle(const xcb_generic_event_t* event);
    void dock(xcb_window_t icon);
    xcb_atom_t atom(const QByteArray& name);

    QByteArray m_display;
    Options m_options;
    xcb_connection_t* m_connection = nullptr;
    xcb_screen_t* m_screen = nullptr;
    xcb_window_t m_manager = XCB_NONE;
    xcb_window_t m_panel = XCB_NONE;
    xcb_atom_t m_selection = XCB_NONE;
    quint32 m_namedVisual = 0;
    QSocketNotifier* m_notifier = nullptr;
    QList<Icon> m_icons;
};
