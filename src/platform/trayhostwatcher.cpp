#include "platform/trayhostwatcher.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#include <xcb/xfixes.h>
#define PORTHIVE_HAS_XCB 1
#else
#define PORTHIVE_HAS_XCB 0
#endif

using namespace Qt::StringLiterals;

namespace {

const QString watcherService = u"org.kde.StatusNotifierWatcher"_s;
const QString watcherPath = u"/StatusNotifierWatcher"_s;
const QString watcherInterface = u"org.kde.StatusNotifierWatcher"_s;

#if PORTHIVE_HAS_XCB
// The screen number of DISPLAY (":0.1" is screen 1).
int defaultScreenNumber()
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

xcb_window_t rootWindow(xcb_connection_t* connection, int screenNumber)
{
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 1; ++i)
        xcb_screen_next(&screens);
    return screens.rem > 0 ? screens.data->root : XCB_NONE;
}
#endif

} // namespace

SystemTrayHostWatcher::SystemTrayHostWatcher(QObject* parent)
    : TrayHostWatching(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        m_serviceWatcher = new QDBusServiceWatcher(watcherService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(m_serviceWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& newOwner) {
                    if (newOwner.isEmpty())
                        setHost(m_statusNotifierHost, false);
                    else
                        askStatusNotifierWatcher();
                });
        bus.connect(watcherService, watcherPath, watcherInterface, u"StatusNotifierHostRegistered"_s, this,
                    SLOT(askStatusNotifierWatcher()));
        bus.connect(watcherService, watcherPath, watcherInterface, u"StatusNotifierHostUnregistered"_s, this,
                    SLOT(askStatusNotifierWatcher()));
        askStatusNotifierWatcher();
    }
    watchXEmbedTray();
}

SystemTrayHostWatcher::~SystemTrayHostWatcher() = default;

bool SystemTrayHostWatcher::hasHost(TrayKind kind) const
{
    return kind == TrayKind::StatusNotifier ? m_statusNotifierHost : m_xembedTray;
}

void SystemTrayHostWatcher::watchXEmbedTray()
{
#if PORTHIVE_HAS_XCB
    // Only the xcb platform talks to the X server; the offscreen one may offer the interface without a connection.
    auto* x11 = qGuiApp && QGuiApplication::platformName() == u"xcb"_s
                    ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                    : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
    const xcb_window_t root = rootWindow(connection, defaultScreenNumber());
    if (!xfixes || !xfixes->present || root == XCB_NONE)
        return;
    // The extension answers a client only after it said which version it speaks.
    free(xcb_xfixes_query_version_reply(connection, xcb_xfixes_query_version(connection, 1, 0), nullptr));

    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(defaultScreenNumber());
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()), nullptr);
    if (!atom)
        return;
    m_traySelection = atom->atom;
    free(atom);
    m_selectionNotifyEvent = quint8(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
    // Qt reads the connection's events; they reach this filter before Qt handles them.
    QCoreApplication::instance()->installNativeEventFilter(this);
    // Asked for the notifications first, then for the owner: a tray starting in between is not missed.
    xcb_xfixes_select_selection_input(connection, root, m_traySelection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, m_traySelection), nullptr);
    setHost(m_xembedTray, owner && owner->owner != XCB_NONE);
    free(owner);
#endif
}

bool SystemTrayHostWatcher::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
#if PORTHIVE_HAS_XCB
    if (m_traySelection == 0 || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    // The top bit marks events another client sent.
    if ((event->response_type & 0x7f) != m_selectionNotifyEvent)
        return false;
    const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
    // The owner is none when the tray's window or connection went away.
    if (notify->selection == m_traySelection)
        setHost(m_xembedTray, notify->owner != XCB_NONE);
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
#endif
    // Qt may watch other selections through the same events.
    return false;
}

void SystemTrayHostWatcher::askStatusNotifierWatcher()
{
    QDBusMessage question =
        QDBusMessage::createMethodCall(watcherService, watcherPath, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    question << watcherInterface << u"IsStatusNotifierHostRegistered"_s;
    auto* call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(question), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *finished;
        setHost(m_statusNotifierHost, !reply.isError() && reply.value().variant().toBool());
    });
}

void SystemTrayHostWatcher::setHost(bool& host, bool present)
{
    if (host == present)
        return;
    host = present;
    Q_EMIT hostsChanged();
}
