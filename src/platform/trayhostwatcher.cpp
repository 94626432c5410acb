#include "platform/trayhostwatcher.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QTimer>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#define PORTHIVE_HAS_XCB 1
#else
#define PORTHIVE_HAS_XCB 0
#endif

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString watcherService = u"org.kde.StatusNotifierWatcher"_s;
const QString watcherPath = u"/StatusNotifierWatcher"_s;
const QString watcherInterface = u"org.kde.StatusNotifierWatcher"_s;
constexpr auto trayPollInterval = 500ms;

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
                        setStatusNotifierHost(false);
                    else
                        askStatusNotifierWatcher();
                });
        bus.connect(watcherService, watcherPath, watcherInterface, u"StatusNotifierHostRegistered"_s, this,
                    SLOT(askStatusNotifierWatcher()));
        bus.connect(watcherService, watcherPath, watcherInterface, u"StatusNotifierHostUnregistered"_s, this,
                    SLOT(askStatusNotifierWatcher()));
        askStatusNotifierWatcher();
    }

#if PORTHIVE_HAS_XCB
    // Only the xcb platform talks to the X server; the offscreen one may offer the interface without a connection.
    auto* x11 = qGuiApp && QGuiApplication::platformName() == u"xcb"_s
                    ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                    : nullptr;
    if (auto* connection = x11 ? x11->connection() : nullptr) {
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(defaultScreenNumber());
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()), nullptr);
        if (atom) {
            m_connection = connection;
            m_traySelection = atom->atom;
            free(atom);
            m_trayPoll = new QTimer(this);
            m_trayPoll->setInterval(trayPollInterval);
            connect(m_trayPoll, &QTimer::timeout, this, &SystemTrayHostWatcher::pollXEmbedTray);
            m_trayPoll->start();
            pollXEmbedTray();
        }
    }
#endif
}

SystemTrayHostWatcher::~SystemTrayHostWatcher() = default;

void SystemTrayHostWatcher::askStatusNotifierWatcher()
{
    QDBusMessage question =
        QDBusMessage::createMethodCall(watcherService, watcherPath, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    question << watcherInterface << u"IsStatusNotifierHostRegistered"_s;
    auto* call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(question), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *finished;
        setStatusNotifierHost(!reply.isError() && reply.value().variant().toBool());
    });
}

void SystemTrayHostWatcher::setStatusNotifierHost(bool registered)
{
    const bool before = isHostAvailable();
    m_statusNotifierHost = registered;
    update(before);
}

void SystemTrayHostWatcher::pollXEmbedTray()
{
#if PORTHIVE_HAS_XCB
    auto* connection = static_cast<xcb_connection_t*>(m_connection);
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, m_traySelection), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    free(reply);
    const bool before = isHostAvailable();
    m_xembedTray = owned;
    update(before);
#endif
}

void SystemTrayHostWatcher::update(bool before)
{
    const bool now = isHostAvailable();
    if (now != before)
        Q_EMIT hostAvailableChanged(now);
}
