#include "platform/desktop/trayhostwatcher.h"

#include "platform/desktop/x11connection.h"
#include "platform/platformlog.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#if QT_CONFIG(xcb)
#include <xcb/xfixes.h>
#define PORTHIVE_HAS_XCB 1
#else
#define PORTHIVE_HAS_XCB 0
#endif

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

const QString watcherService = u"org.kde.StatusNotifierWatcher"_s;
const QString watcherPath = u"/StatusNotifierWatcher"_s;
const QString watcherInterface = u"org.kde.StatusNotifierWatcher"_s;

} // namespace

SystemTrayHostWatcher::SystemTrayHostWatcher(QObject* parent)
    : TrayHostWatching(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        m_serviceWatcher = new QDBusServiceWatcher(watcherService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(m_serviceWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString& oldOwner, const QString& newOwner) {
                    // A watcher that takes the name straight from another (a panel started with --replace) knows
                    // none of the items of the last one: it counts as that host going and a new one coming.
                    if (newOwner.isEmpty() || !oldOwner.isEmpty())
                        setHost(m_statusNotifierHost, false);
                    if (!newOwner.isEmpty())
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
    xcb_connection_t* connection = X11::connection();
    if (!connection) {
        qCDebug(lcTray) << "no X11 connection: the X11 tray is not watched";
        return;
    }
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
    const xcb_screen_t* screen = X11::screen(connection);
    if (!xfixes || !xfixes->present || !screen) {
        qCDebug(lcTray) << "the X11 tray is not watched:" << (screen ? "no XFixes" : "no such screen");
        return;
    }
    const xcb_window_t root = screen->root;
    // The extension answers a client only after it said which version it speaks.
    free(xcb_xfixes_query_version_reply(connection, xcb_xfixes_query_version(connection, 1, 0), nullptr));

    m_traySelection = X11::atom(connection, X11::traySelectionName());
    if (m_traySelection == XCB_NONE)
        return;
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
    setTrayOwner(owner ? owner->owner : 0);
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
        setTrayOwner(notify->owner);
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
    // Answers of an earlier owner may come after those of the current one: only the last question counts.
    const quint64 asked = ++m_questions;
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, asked](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (asked != m_questions)
            return;
        const QDBusPendingReply<QDBusVariant> reply = *finished;
        setHost(m_statusNotifierHost, !reply.isError() && reply.value().variant().toBool());
    });
}

void SystemTrayHostWatcher::setTrayOwner(quint32 owner)
{
    // A tray that takes the selection from another has none of its icons: the last one went, a new one came.
    if (owner != 0 && m_trayOwner != 0 && owner != m_trayOwner)
        setHost(m_xembedTray, false);
    m_trayOwner = owner;
    setHost(m_xembedTray, owner != 0);
}

void SystemTrayHostWatcher::setHost(bool& host, bool present)
{
    if (host == present)
        return;
    host = present;
    Q_EMIT hostsChanged();
}
