#include "support/xembedtray.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr uint32_t systemTrayRequestDock = 0;
constexpr uint32_t xembedEmbeddedNotify = 0;
constexpr uint32_t xembedMapped = 1 << 0;
constexpr int panelIcons = 8;

// A 32-bit TrueColor visual of the screen, 0 where it has none.
xcb_visualid_t alphaVisual(const xcb_screen_t* screen)
{
    for (xcb_depth_iterator_t depths = xcb_screen_allowed_depths_iterator(screen); depths.rem;
         xcb_depth_next(&depths)) {
        if (depths.data->depth != 32)
            continue;
        for (xcb_visualtype_iterator_t visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR)
                return visuals.data->visual_id;
        }
    }
    return 0;
}

uint32_t pixel(const QColor& colour, uint8_t depth)
{
    const uint32_t rgb = colour.rgb() & 0xffffff;
    return depth == 32 ? 0xff000000 | rgb : rgb;
}

} // namespace

XEmbedTray::XEmbedTray(QByteArray display, Options options)
    : m_display(std::move(display))
    , m_options(options)
{}

XEmbedTray::~XEmbedTray()
{
    delete m_notifier;
    // Windows are left to the server: destroying an embedder would destroy the icon in it too, while a closed
    // connection hands the icons in its save-set back to the root window.
    if (m_connection)
        xcb_disconnect(m_connection);
}

xcb_atom_t XEmbedTray::atom(const QByteArray& name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, uint16_t(name.size()), name.constData()), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_NONE);
    free(reply);
    return value;
}

bool XEmbedTray::start()
{
    m_connection = xcb_connect(m_display.constData(), nullptr);
    if (xcb_connection_has_error(m_connection))
        return false;
    m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    switch (m_options.visual) {
    case Visual::Unnamed:
        break;
    case Visual::Default:
        m_namedVisual = m_screen->root_visual;
        break;
    case Visual::Alpha:
        m_namedVisual = alphaVisual(m_screen);
        if (m_namedVisual == 0)
            return false;
        break;
    }

    m_manager = xcb_generate_id(m_connection);
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_manager, m_screen->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    if (m_namedVisual != 0) {
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_manager, atom("_NET_SYSTEM_TRAY_VISUAL"),
                            XCB_ATOM_VISUALID, 32, 1, &m_namedVisual);
    }
    const uint32_t horizontal = 0;
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_manager, atom("_NET_SYSTEM_TRAY_ORIENTATION"),
                        XCB_ATOM_CARDINAL, 32, 1, &horizontal);

    m_panel = xcb_generate_id(m_connection);
    const uint32_t panelValues[] = {pixel(m_options.background, m_screen->root_depth), 1};
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_panel, m_screen->root, int16_t(m_options.panel.x()),
                      int16_t(m_options.panel.y()), uint16_t(m_options.iconSize * panelIcons),
                      uint16_t(m_options.iconSize), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, panelValues);
    xcb_map_window(m_connection, m_panel);

    m_selection = atom("_NET_SYSTEM_TRAY_S0");
    xcb_set_selection_owner(m_connection, m_manager, m_selection, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, m_selection), nullptr);
    const bool owned = owner && owner->owner == m_manager;
    free(owner);
    if (!owned)
        return false;
    // Icons that wait for a tray learn of this one.
    xcb_client_message_event_t manager = {};
    manager.response_type = XCB_CLIENT_MESSAGE;
    manager.format = 32;
    manager.window = m_screen->root;
    manager.type = atom("MANAGER");
    manager.data.data32[0] = XCB_CURRENT_TIME;
    manager.data.data32[1] = m_selection;
    manager.data.data32[2] = m_manager;
    xcb_send_event(m_connection, 0, m_screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&manager));
    xcb_flush(m_connection);

    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &XEmbedTray::readEvents);
    readEvents();
    return true;
}

void XEmbedTray::readEvents()
{
    if (!m_connection)
        return;
    // Replies read meanwhile may have brought events along, which the descriptor no longer announces.
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        handle(event);
        free(event);
    }
    xcb_flush(m_connection);
}

void XEmbedTray::handle(const xcb_generic_event_t* event)
{
    switch (event->response_type & 0x7f) {
    case XCB_CLIENT_MESSAGE: {
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
        if (message->window == m_manager && message->format == 32 && message->type == atom("_NET_SYSTEM_TRAY_OPCODE") &&
            message->data.data32[1] == systemTrayRequestDock)
            dock(message->data.data32[2]);
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const xcb_window_t gone = reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window;
        m_icons.removeIf([gone](const Icon& icon) { return icon.window == gone; });
        break;
    }
    case XCB_REPARENT_NOTIFY: {
        const auto* reparent = reinterpret_cast<const xcb_reparent_notify_event_t*>(event);
        m_icons.removeIf([reparent](const Icon& icon) {
            return icon.window == reparent->window && icon.embedder != reparent->parent;
        });
        break;
    }
    default:
        break;
    }
}

void XEmbedTray::dock(xcb_window_t icon)
{
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, icon), nullptr);
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, icon), nullptr);
    if (!attributes || !geometry) {
        free(attributes);
        free(geometry);
        return;
    }
    const xcb_visualid_t visual = attributes->visual;
    const uint8_t depth = geometry->depth;
    free(attributes);
    free(geometry);

    // The embedder has the icon's visual, so a background relative to it is the tray's.
    Icon docked{icon, xcb_generate_id(m_connection)};
    const int16_t x = int16_t(m_icons.size() * m_options.iconSize);
    if (depth == m_screen->root_depth && visual == m_screen->root_visual) {
        const uint32_t values[] = {pixel(m_options.background, depth)};
        xcb_create_window(m_connection, depth, docked.embedder, m_panel, x, 0, uint16_t(m_options.iconSize),
                          uint16_t(m_options.iconSize), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual, XCB_CW_BACK_PIXEL,
                          values);
    } else {
        const xcb_colormap_t colormap = xcb_generate_id(m_connection);
        xcb_create_colormap(m_connection, XCB_COLORMAP_ALLOC_NONE, colormap, m_screen->root, visual);
        const uint32_t values[] = {pixel(m_options.background, depth), 0, colormap};
        xcb_create_window(m_connection, depth, docked.embedder, m_panel, x, 0, uint16_t(m_options.iconSize),
                          uint16_t(m_options.iconSize), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_COLORMAP, values);
    }
    xcb_change_save_set(m_connection, XCB_SET_MODE_INSERT, icon);
    const uint32_t iconEvents[] = {XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_change_window_attributes(m_connection, icon, XCB_CW_EVENT_MASK, iconEvents);
    xcb_reparent_window(m_connection, icon, docked.embedder, 0, 0);
    const uint32_t size[] = {uint32_t(m_options.iconSize), uint32_t(m_options.iconSize)};
    xcb_configure_window(m_connection, icon, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    xcb_map_window(m_connection, docked.embedder);
    const QByteArray info = property(icon, "_XEMBED_INFO");
    if (info.size() >= 8 && (reinterpret_cast<const uint32_t*>(info.constData())[1] & xembedMapped))
        xcb_map_window(m_connection, icon);

    xcb_client_message_event_t embedded = {};
    embedded.response_type = XCB_CLIENT_MESSAGE;
    embedded.format = 32;
    embedded.window = icon;
    embedded.type = atom("_XEMBED");
    embedded.data.data32[0] = XCB_CURRENT_TIME;
    embedded.data.data32[1] = xembedEmbeddedNotify;
    embedded.data.data32[3] = docked.embedder;
    xcb_send_event(m_connection, 0, icon, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&embedded));
    xcb_flush(m_connection);
    m_icons.append(docked);
}

QList<quint32> XEmbedTray::icons()
{
    readEvents();
    QList<quint32> windows;
    for (const Icon& icon : std::as_const(m_icons))
        windows.append(icon.window);
    return windows;
}

bool XEmbedTray::holdsSelection()
{
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, m_selection), nullptr);
    const bool held = owner && owner->owner == m_manager;
    free(owner);
    readEvents();
    return held;
}

QRect XEmbedTray::iconGeometry(quint32 icon)
{
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, icon), nullptr);
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        m_connection, xcb_translate_coordinates(m_connection, icon, m_screen->root, 0, 0), nullptr);
    QRect rect;
    if (geometry && origin)
        rect = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    free(geometry);
    free(origin);
    readEvents();
    return rect;
}

XEmbedTray::Attributes XEmbedTray::attributes(quint32 icon)
{
    xcb_get_window_attributes_reply_t* reply =
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, icon), nullptr);
    const Attributes attributes{reply && reply->map_state == XCB_MAP_STATE_VIEWABLE, reply ? reply->visual : 0};
    free(reply);
    readEvents();
    return attributes;
}

QImage XEmbedTray::iconPixels(quint32 icon)
{
    const QRect geometry = iconGeometry(icon);
    if (geometry.isEmpty())
        return {};
    xcb_generic_error_t* error = nullptr;
    xcb_get_image_reply_t* reply =
        xcb_get_image_reply(m_connection,
                            xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, icon, 0, 0,
                                          uint16_t(geometry.width()), uint16_t(geometry.height()), ~0u),
                            &error);
    free(error);
    QImage image;
    if (reply && xcb_get_image_data_length(reply) == geometry.width() * geometry.height() * 4) {
        image = QImage(xcb_get_image_data(reply), geometry.width(), geometry.height(), geometry.width() * 4,
                       reply->depth == 32 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32)
                    .copy();
    }
    free(reply);
    readEvents();
    return image;
}

QByteArray XEmbedTray::property(quint32 window, const QByteArray& name)
{
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
        nullptr);
    QByteArray value;
    if (reply && reply->format != 0) {
        value =
            QByteArray(static_cast<const char*>(xcb_get_property_value(reply)), xcb_get_property_value_length(reply));
    }
    free(reply);
    return value;
}

void XEmbedTray::resizeIcons(int size)
{
    m_options.iconSize = size;
    const uint32_t panel[] = {uint32_t(size * panelIcons), uint32_t(size)};
    xcb_configure_window(m_connection, m_panel, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, panel);
    for (qsizetype i = 0; i < m_icons.size(); ++i) {
        const uint32_t embedder[] = {uint32_t(i * size), 0, uint32_t(size), uint32_t(size)};
        xcb_configure_window(
            m_connection, m_icons.at(i).embedder,
            XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, embedder);
        const uint32_t icon[] = {uint32_t(size), uint32_t(size)};
        xcb_configure_window(m_connection, m_icons.at(i).window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                             icon);
    }
    xcb_flush(m_connection);
}
