#include "platform/desktop/xembedstatusitem.h"

#include "platform/desktop/traytooltip.h"
#include "platform/desktop/traywindowplacement.h"
#include "platform/desktop/x11connection.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QTimer>
#include <QtEndian>

#if QT_CONFIG(xcb)
#define PORTHIVE_HAS_XCB 1
#else
#define PORTHIVE_HAS_XCB 0
#endif

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <vector>

using namespace std::chrono_literals;

namespace {

// The size most trays give; a tray sets the size it wants once it embedded the window.
constexpr int initialSide = 22;
constexpr auto toolTipDelay = 700ms;

#if PORTHIVE_HAS_XCB
constexpr uint32_t systemTrayRequestDock = 0;
constexpr uint32_t xembedVersion = 0;
constexpr uint32_t xembedMapped = 1 << 0;
// Fields of WM_NORMAL_HINTS.
constexpr uint32_t minimumSizeHint = 1 << 4;
constexpr uint32_t baseSizeHint = 1 << 8;
constexpr uint32_t eventMask = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_BUTTON_PRESS |
                               XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_ENTER_WINDOW |
                               XCB_EVENT_MASK_LEAVE_WINDOW;

// The visual `id` of `screen` and its depth; null when the screen has none of that id.
const xcb_visualtype_t* findVisual(const xcb_screen_t* screen, xcb_visualid_t id, uint8_t& depth)
{
    for (xcb_depth_iterator_t depths = xcb_screen_allowed_depths_iterator(screen); depths.rem;
         xcb_depth_next(&depths)) {
        for (xcb_visualtype_iterator_t visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == id) {
                depth = depths.data->depth;
                return visuals.data;
            }
        }
    }
    return nullptr;
}

// The visual the tray asks icons to use (_NET_SYSTEM_TRAY_VISUAL on its selection window), 0 when it names none.
xcb_visualid_t trayVisual(xcb_connection_t* connection, xcb_window_t manager)
{
    const xcb_atom_t name = X11::atom(connection, "_NET_SYSTEM_TRAY_VISUAL");
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, manager, name, XCB_ATOM_VISUALID, 0, 1), nullptr);
    xcb_visualid_t visual = 0;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        visual = *static_cast<const xcb_visualid_t*>(xcb_get_property_value(reply));
    free(reply);
    return visual;
}

void setWindowProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name, xcb_atom_t type,
                       uint8_t format, const void* data, uint32_t count)
{
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, name, type, format, count, data);
}

// Whether 32-bit pixels of the X server and those of a QImage need their bytes turned around, and their red and
// blue swapped.
struct PixelLayout
{
    bool swapBytes = false;
    bool swapRedBlue = false;

    static PixelLayout of(xcb_connection_t* connection, const xcb_visualtype_t* visual)
    {
        const bool serverLittleEndian = xcb_get_setup(connection)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
        return {serverLittleEndian != (Q_BYTE_ORDER == Q_LITTLE_ENDIAN), visual && visual->red_mask == 0xff};
    }

    // Both ways: the conversion is its own inverse.
    QImage convert(QImage image) const
    {
        if (swapRedBlue)
            image = std::move(image).rgbSwapped();
        if (swapBytes) {
            for (int y = 0; y < image.height(); ++y) {
                auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x)
                    line[x] = qbswap(line[x]);
            }
        }
        return image;
    }
};
#endif

} // namespace

struct XEmbedStatusItem::Native
{
#if PORTHIVE_HAS_XCB
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_window_t window = XCB_NONE;
    xcb_colormap_t colormap = XCB_NONE;
    xcb_gcontext_t context = XCB_NONE;
    uint8_t depth = 0;
    bool alpha = false;
    PixelLayout layout;

    // Only while Qt still has the connection the window was made on.
    bool usable() const
    {
        return window != XCB_NONE && X11::connection() == connection;
    }
#else
    bool usable() const
    {
        return false;
    }
#endif
};

XEmbedStatusItem::XEmbedStatusItem(QObject* parent)
    : StatusItem(parent)
    , m_native(std::make_unique<Native>())
    , m_size(initialSide, initialSide)
    , m_toolTipDelay(new QTimer(this))
{
    m_toolTipDelay->setSingleShot(true);
    m_toolTipDelay->setInterval(toolTipDelay);
    connect(m_toolTipDelay, &QTimer::timeout, this, &XEmbedStatusItem::showToolTip);
}

XEmbedStatusItem::~XEmbedStatusItem()
{
#if PORTHIVE_HAS_XCB
    Native& native = *m_native;
    if (!native.usable())
        return;
    // The tray forgets an icon whose window is destroyed.
    xcb_destroy_window(native.connection, native.window);
    xcb_free_gc(native.connection, native.context);
    if (native.colormap != XCB_NONE)
        xcb_free_colormap(native.connection, native.colormap);
    xcb_flush(native.connection);
#endif
}

quint32 XEmbedStatusItem::windowId() const
{
#if PORTHIVE_HAS_XCB
    return m_native->window;
#else
    return 0;
#endif
}

void XEmbedStatusItem::setIcon(const QIcon& icon)
{
    m_icon = icon;
    if (m_mapped)
        QMetaObject::invokeMethod(this, &XEmbedStatusItem::paint, Qt::QueuedConnection);
}

void XEmbedStatusItem::setToolTip(const QString& text)
{
    m_toolTip = text;
    if (m_toolTipWindow && m_toolTipWindow->isVisible())
        showToolTip();
}

void XEmbedStatusItem::fail()
{
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT failed(); }, Qt::QueuedConnection);
}

void XEmbedStatusItem::show()
{
#if PORTHIVE_HAS_XCB
    Native& native = *m_native;
    if (native.window != XCB_NONE)
        return;
    xcb_connection_t* connection = X11::connection();
    const xcb_screen_t* screen = connection ? X11::screen(connection) : nullptr;
    const xcb_atom_t selection = screen ? X11::atom(connection, X11::traySelectionName()) : xcb_atom_t(XCB_NONE);
    xcb_window_t manager = XCB_NONE;
    if (selection != XCB_NONE) {
        xcb_get_selection_owner_reply_t* owner =
            xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
        manager = owner ? owner->owner : xcb_window_t(XCB_NONE);
        free(owner);
    }
    if (manager == XCB_NONE) {
        fail();
        return;
    }

    // The tray's visual where it names one it has, else the screen's own.
    xcb_visualid_t visualId = trayVisual(connection, manager);
    uint8_t depth = 0;
    const xcb_visualtype_t* visual = visualId ? findVisual(screen, visualId, depth) : nullptr;
    if (!visual) {
        visualId = screen->root_visual;
        depth = screen->root_depth;
        visual = findVisual(screen, visualId, depth);
    }
    native.connection = connection;
    native.root = screen->root;
    native.depth = depth;
    native.alpha = depth == 32;
    native.layout = PixelLayout::of(connection, visual);

    // Without an alpha channel the window shows its parent's background, the tray's, and the icon is drawn over
    // it; that needs the parent's depth. Bypassing the window manager keeps it from framing the window when a tray
    // that quits hands it back to the root window.
    const bool parentRelative = !native.alpha && depth == screen->root_depth;
    std::vector<uint32_t> values = {parentRelative ? uint32_t(XCB_BACK_PIXMAP_PARENT_RELATIVE) : uint32_t(XCB_NONE), 0,
                                    1, eventMask};
    uint32_t mask = XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK;
    if (visualId != screen->root_visual) {
        native.colormap = xcb_generate_id(connection);
        xcb_create_colormap(connection, XCB_COLORMAP_ALLOC_NONE, native.colormap, screen->root, visualId);
        mask |= XCB_CW_COLORMAP;
        values.push_back(native.colormap);
    }
    native.window = xcb_generate_id(connection);
    xcb_create_window(connection, depth, native.window, screen->root, 0, 0, uint16_t(m_size.width()),
                      uint16_t(m_size.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visualId, mask, values.data());
    native.context = xcb_generate_id(connection);
    xcb_create_gc(connection, native.context, native.window, 0, nullptr);

    // Named as the application's other windows are, so the tray and the user's tools can tell it.
    const QByteArray name = QCoreApplication::applicationName().toUtf8();
    const QByteArray wmClass = name + '\0' + name + '\0';
    setWindowProperty(connection, native.window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, wmClass.constData(),
                      uint32_t(wmClass.size()));
    const QByteArray title = QGuiApplication::applicationDisplayName().toUtf8();
    setWindowProperty(connection, native.window, X11::atom(connection, "_NET_WM_NAME"),
                      X11::atom(connection, "UTF8_STRING"), 8, title.constData(), uint32_t(title.size()));
    // The size asked for: trays that size icons by their request (GTK's) would give the window a single column.
    std::array<uint32_t, 18> sizeHints = {};
    sizeHints[0] = minimumSizeHint | baseSizeHint;
    sizeHints[5] = sizeHints[6] = sizeHints[15] = sizeHints[16] = uint32_t(initialSide);
    setWindowProperty(connection, native.window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, sizeHints.data(),
                      uint32_t(sizeHints.size()));
    const xcb_atom_t embedInfo = X11::atom(connection, "_XEMBED_INFO");
    const uint32_t info[] = {xembedVersion, xembedMapped};
    setWindowProperty(connection, native.window, embedInfo, embedInfo, 32, info, 2);

    QCoreApplication::instance()->installNativeEventFilter(this);
    xcb_client_message_event_t dock = {};
    dock.response_type = XCB_CLIENT_MESSAGE;
    dock.format = 32;
    dock.window = manager;
    dock.type = X11::atom(connection, "_NET_SYSTEM_TRAY_OPCODE");
    dock.data.data32[0] = XCB_CURRENT_TIME;
    dock.data.data32[1] = systemTrayRequestDock;
    dock.data.data32[2] = native.window;
    // Checked: a tray that went away in the meantime gets no icon, and the scene looks for another tray.
    xcb_generic_error_t* error =
        xcb_request_check(connection, xcb_send_event_checked(connection, 0, manager, XCB_EVENT_MASK_NO_EVENT,
                                                             reinterpret_cast<const char*>(&dock)));
    if (error) {
        free(error);
        fail();
    }
#else
    fail();
#endif
}

QRect XEmbedStatusItem::geometry() const
{
#if PORTHIVE_HAS_XCB
    const Native& native = *m_native;
    if (!native.usable() || !m_mapped)
        return {};
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        native.connection, xcb_translate_coordinates(native.connection, native.window, native.root, 0, 0), nullptr);
    if (!origin)
        return {};
    const QRect rect(origin->dst_x, origin->dst_y, m_size.width(), m_size.height());
    free(origin);
    return logicalScreenRect(rect);
#else
    return {};
#endif
}

bool XEmbedStatusItem::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
#if PORTHIVE_HAS_XCB
    const Native& native = *m_native;
    if (native.window == XCB_NONE || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
    case XCB_EXPOSE: {
        const auto* expose = reinterpret_cast<const xcb_expose_event_t*>(event);
        if (expose->window == native.window && expose->count == 0)
            QMetaObject::invokeMethod(this, &XEmbedStatusItem::paint, Qt::QueuedConnection);
        break;
    }
    case XCB_CONFIGURE_NOTIFY: {
        // A new size discards the window's pixels, and an expose follows.
        const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        if (configure->window == native.window)
            m_size = QSize(configure->width, configure->height);
        break;
    }
    case XCB_MAP_NOTIFY:
        if (reinterpret_cast<const xcb_map_notify_event_t*>(event)->window == native.window)
            m_mapped = true;
        break;
    case XCB_UNMAP_NOTIFY:
        if (reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->window == native.window) {
            m_mapped = false;
            hideToolTip();
        }
        break;
    case XCB_BUTTON_PRESS: {
        const auto* press = reinterpret_cast<const xcb_button_press_event_t*>(event);
        if (press->event != native.window)
            break;
        hideToolTip();
        // After Qt has seen the click: the window that drops down is activated with its time.
        if (press->detail == XCB_BUTTON_INDEX_1)
            QMetaObject::invokeMethod(
                this, [this] { Q_EMIT activated(); }, Qt::QueuedConnection);
        break;
    }
    case XCB_ENTER_NOTIFY:
        if (reinterpret_cast<const xcb_enter_notify_event_t*>(event)->event == native.window)
            m_toolTipDelay->start();
        break;
    case XCB_LEAVE_NOTIFY:
        if (reinterpret_cast<const xcb_leave_notify_event_t*>(event)->event == native.window)
            hideToolTip();
        break;
    default:
        break;
    }
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
#endif
    // Qt keeps its own account of input (the time of the last click, the buttons held) from these events too.
    return false;
}

void XEmbedStatusItem::paint()
{
#if PORTHIVE_HAS_XCB
    const Native& native = *m_native;
    if (!native.usable() || !m_mapped || m_size.isEmpty())
        return;
    xcb_connection_t* connection = native.connection;
    const int width = m_size.width();
    const int height = m_size.height();
    QImage image(m_size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    if (!native.alpha) {
        // The tray's background as the window shows it without the icon.
        xcb_clear_area(connection, 0, native.window, 0, 0, 0, 0);
        xcb_generic_error_t* error = nullptr;
        xcb_get_image_reply_t* shown =
            xcb_get_image_reply(connection,
                                xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, native.window, 0, 0,
                                              uint16_t(width), uint16_t(height), ~0u),
                                &error);
        free(error);
        if (shown && shown->depth == native.depth && xcb_get_image_data_length(shown) == width * height * 4) {
            const QImage background(xcb_get_image_data(shown), width, height, width * 4, QImage::Format_RGB32);
            painter.drawImage(0, 0, native.layout.convert(background.copy()));
        } else {
            // Partly off the screen, the window's pixels cannot be read.
            painter.fillRect(image.rect(), QGuiApplication::palette().color(QPalette::Window));
        }
        free(shown);
    }
    // On a layer of its own: an icon may clear parts of what it draws on.
    QImage icon(m_size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter iconPainter(&icon);
    const int side = std::min(width, height);
    m_icon.paint(&iconPainter, QRect((width - side) / 2, (height - side) / 2, side, side));
    iconPainter.end();
    painter.drawImage(0, 0, icon);
    painter.end();

    const QImage pixels = native.layout.convert(std::move(image));
    // Within the server's request size, a band of rows at a time.
    const qsizetype rowBytes = qsizetype(width) * 4;
    const qsizetype maximum = qsizetype(xcb_get_maximum_request_length(connection)) * 4 - 64;
    const int rows = int(std::clamp<qsizetype>(maximum / rowBytes, 1, height));
    for (int y = 0; y < height; y += rows) {
        const int band = std::min(rows, height - y);
        xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, native.window, native.context, uint16_t(width),
                      uint16_t(band), 0, int16_t(y), 0, native.depth, uint32_t(band * rowBytes),
                      pixels.constScanLine(y));
    }
    xcb_flush(connection);
#endif
}

void XEmbedStatusItem::showToolTip()
{
    const QRect icon = geometry();
    if (m_toolTip.isEmpty() || !icon.isValid())
        return;
    if (!m_toolTipWindow)
        m_toolTipWindow = std::make_unique<TrayToolTip>();
    m_toolTipWindow->showText(m_toolTip, icon);
}

void XEmbedStatusItem::hideToolTip()
{
    m_toolTipDelay->stop();
    if (m_toolTipWindow)
        m_toolTipWindow->hide();
}
