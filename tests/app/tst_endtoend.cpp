// The real application under Xvfb with a real window manager (openbox), a session bus of the test's own, a
// StatusNotifierItem host in a process of its own and real X11 system trays (trayer, and the test's own with an
// alpha visual): started before any tray it shows an ordinary window; the trays then hand over several times in
// one process, a host quitting and an X11 tray coming up right after and back again, and each time the icon is
// there, with the running count of a real node server, and a click on it (the host's Activate, or the pointer
// on the docked icon) drops the window down under it. A click elsewhere hides it, a second start shows it
// again, and Quit ends the process with status 0. Without any tray, closing the ordinary window ends it too.
#include "app/menubarlabel.h"
#include "app/statusicon.h"
#include "platform/desktop/desktopentry.h"
#include "platform/desktop/statusnotifieritem.h"
#include "support/nodeserver.h"
#include "support/privatebus.h"
#include "support/testhome.h"
#include "support/xembedtray.h"
#include "support/xserver.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int startTimeout = 30000;
// The first scan runs right after start-up; probes and a loaded machine can take a while.
constexpr int scanTimeout = 60000;
const QSize screenSize(1280, 800);
constexpr int panelHeight = 24;

// A window on the test's own X display, as the display sees it.
struct XWindow
{
    xcb_window_t id = XCB_NONE;
    QRect geometry;
    QByteArray wmClass;
    bool viewable = false;
    // A child of the root window, not inside another client's.
    bool topLevel = false;
};

// The test's own connection to the display, for what xdotool cannot tell: windows, selections and pixels.
class XDisplay
{
public:
    explicit XDisplay(const QByteArray& name)
        : m_connection(xcb_connect(name.constData(), nullptr))
    {
        if (!xcb_connection_has_error(m_connection))
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~XDisplay() { xcb_disconnect(m_connection); }

    bool isConnected() const { return m_root != XCB_NONE; }

    bool selectionOwned(const QByteArray& name)
    {
        xcb_get_selection_owner_reply_t* reply =
            xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, atom(name)), nullptr);
        const bool owned = reply && reply->owner != XCB_NONE;
        free(reply);
        return owned;
    }

    bool windowManagerRunning()
    {
        return !property(m_root, atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW).isEmpty();
    }

    QList<XWindow> windows()
    {
        QList<XWindow> found;
        collect(m_root, found);
        return found;
    }

    // A window's own pixels.
    QImage grabWindow(const XWindow& window)
    {
        xcb_get_image_reply_t* reply = xcb_get_image_reply(
            m_connection,
            xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window.id, 0, 0, uint16_t(window.geometry.width()),
                          uint16_t(window.geometry.height()), ~0u),
            nullptr);
        QImage image;
        if (reply && xcb_get_image_data_length(reply) == window.geometry.width() * window.geometry.height() * 4) {
            image = QImage(xcb_get_image_data(reply), window.geometry.width(), window.geometry.height(),
                           window.geometry.width() * 4, QImage::Format_RGB32)
                        .copy();
        }
        free(reply);
        return image;
    }

    // What a window manager's close command sends: the window's own protocol for closing.
    void closeWindow(xcb_window_t window)
    {
        xcb_client_message_event_t message = {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = atom("WM_PROTOCOLS");
        message.data.data32[0] = atom("WM_DELETE_WINDOW");
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
        xcb_flush(m_connection);
    }

    // The screen's pixels in `area`.
    QImage grab(const QRect& area)
    {
        xcb_get_image_reply_t* reply =
            xcb_get_image_reply(m_connection,
                                xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, int16_t(area.x()),
                                              int16_t(area.y()), uint16_t(area.width()), uint16_t(area.height()), ~0u),
                                nullptr);
        if (!reply)
            return {};
        QImage image;
        const int length = xcb_get_image_data_length(reply);
        if (reply->depth == 24 && length == area.width() * area.height() * 4) {
            image =
                QImage(xcb_get_image_data(reply), area.width(), area.height(), area.width() * 4, QImage::Format_RGB32)
                    .copy();
        }
        free(reply);
        return image;
    }

private:
    xcb_atom_t atom(const QByteArray& name)
    {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(name.size()), name.constData()), nullptr);
        const xcb_atom_t value = reply ? reply->atom : XCB_NONE;
        free(reply);
        return value;
    }

    QByteArray property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
    {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, name, type, 0, 1024), nullptr);
        QByteArray value;
        if (reply && reply->format != 0) {
            value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply) * (reply->format / 8));
        }
        free(reply);
        return value;
    }

    void collect(xcb_window_t parent, QList<XWindow>& found)
    {
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, parent), nullptr);
        if (!tree)
            return;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        const int count = xcb_query_tree_children_length(tree);
        for (int i = 0; i < count; ++i) {
            XWindow window;
            window.id = children[i];
            window.topLevel = parent == m_root;
            window.wmClass = property(window.id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0').value(0);
            xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
                m_connection, xcb_get_window_attributes(m_connection, window.id), nullptr);
            window.viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            free(attributes);
            xcb_get_geometry_reply_t* geometry =
                xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window.id), nullptr);
            xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
                m_connection, xcb_translate_coordinates(m_connection, window.id, m_root, 0, 0), nullptr);
            if (geometry && origin)
                window.geometry = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
            free(geometry);
            free(origin);
            found.append(window);
            collect(window.id, found);
        }
        free(tree);
    }

    xcb_connection_t* m_connection;
    xcb_window_t m_root = XCB_NONE;
};

// The running count a tray icon image shows: the label whose drawing over the same background is nearest.
struct IconReading
{
    int count = -1;
    double distance = 0;
};

IconReading readIcon(const QImage& shown, int largestCount)
{
    if (shown.isNull())
        return {-1, 1e9};
    const QColor background = shown.pixelColor(0, 0);
    IconReading best{-1, 1e9};
    for (int count = -1; count <= largestCount; ++count) {
        const MenuBarLabel label = count < 0 ? MenuBarLabel::make(RefreshState::failed(u"x"_s), 0)
                                             : MenuBarLabel::make(RefreshState::idle(), count);
        QImage expected(shown.size(), QImage::Format_RGB32);
        expected.fill(background);
        {
            QPainter painter(&expected);
            painter.drawImage(0, 0, StatusIcon::render(label, shown.width(), 1));
        }
        double sum = 0;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb a = shown.pixel(x, y);
                const QRgb b = expected.pixel(x, y);
                sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
            }
        }
        const double distance = sum / (3.0 * shown.width() * shown.height());
        if (distance < best.distance)
            best = {count, distance};
    }
    return best;
}

// The picture of a StatusNotifierItem's icon at `side` pixels, on a panel's grey.
QImage statusNotifierPicture(const QList<StatusNotifierImage>& images, int side)
{
    for (const StatusNotifierImage& image : images) {
        if (image.width != side || image.height != side || image.argb.size() != side * side * 4)
            continue;
        QImage picture(side, side, QImage::Format_ARGB32);
        const auto* argb = reinterpret_cast<const quint32*>(image.argb.constData());
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x)
                picture.setPixel(x, y, qFromBigEndian(argb[y * side + x]));
        }
        QImage panel(side, side, QImage::Format_RGB32);
        panel.fill(QColor(0x44, 0x44, 0x48));
        QPainter painter(&panel);
        painter.drawImage(0, 0, picture);
        return panel;
    }
    return {};
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void trayIconAndWindow();

private:
    QProcess* startProgram(const QString& program, const QStringList& arguments);
    QProcess* startApplication();
    void startTray();
    void startStatusNotifierHost();
    void stop(QProcess* process);
    bool click(const QPoint& point);
    bool activate(const QPoint& point);
    std::optional<XWindow> trayIcon();
    std::optional<XWindow> dropDownWindow();
    QDBusConnection panel() const { return QDBusConnection::connectToBus(m_busAddress, u"panel"_s); }
    // The items registered with the host's watcher that belong to the application.
    QStringList registeredItems(const QProcess& app);
    // A property of the application's registered item; invalid while there is none.
    QVariant itemProperty(const QString& name);
    // The running count the icon shows in the tray there is now, once it is there.
    IconReading readTrayIcon();

    XServer m_server;
    std::unique_ptr<XDisplay> m_x;
    QTemporaryDir m_busFolder;
    QProcess m_bus;
    QString m_busAddress;
    QList<QProcess*> m_helpers;
    QProcess* m_tray = nullptr;
    QProcess* m_host = nullptr;
    QString m_item;
    QProcessEnvironment m_environment;
};

QProcess* TestEndToEnd::startProgram(const QString& program, const QStringList& arguments)
{
    auto* process = new QProcess(this);
    process->setProcessEnvironment(m_environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardInputFile(QProcess::nullDevice());
    process->start(program, arguments);
    return process;
}

void TestEndToEnd::stop(QProcess* process)
{
    if (process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(5000);
    }
}

void TestEndToEnd::initTestCase()
{
    for (const QString& tool : {u"Xvfb"_s, u"openbox"_s, u"trayer"_s, u"xdotool"_s}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + u" is not installed (scripts/setup installs it)"_s));
    }
    if (NodeServer::nodePath().isEmpty())
        QSKIP("node is not installed");

    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.remove(u"XDG_CURRENT_DESKTOP"_s);
    // A session bus of the test's own, where the test plays the panel.
    QVERIFY(m_busFolder.isValid());
    m_busAddress = startPrivateSessionBus(m_bus, m_busFolder.path(), startTimeout);
    QVERIFY2(!m_busAddress.isEmpty(), "dbus-daemon did not start");
    m_environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, m_busAddress);
    QVERIFY(panel().isConnected());

    QVERIFY2(m_server.start(screenSize), "Xvfb did not start");
    m_environment.insert(u"DISPLAY"_s, QString::fromLatin1(m_server.display()));
    m_x = std::make_unique<XDisplay>(m_server.display());
    QVERIFY(m_x->isConnected());

    m_helpers.append(startProgram(u"openbox"_s, {}));
    QTRY_VERIFY_WITH_TIMEOUT(m_x->windowManagerRunning(), startTimeout);
}

void TestEndToEnd::cleanupTestCase()
{
    m_x.reset();
    // Last started, first stopped; the X server goes with its object.
    for (auto it = m_helpers.rbegin(); it != m_helpers.rend(); ++it)
        stop(*it);
    QDBusConnection::disconnectFromBus(u"panel"_s);
    stop(&m_bus);
}

QStringList TestEndToEnd::registeredItems(const QProcess& app)
{
    QDBusMessage get = QDBusMessage::createMethodCall(u"org.kde.StatusNotifierWatcher"_s, u"/StatusNotifierWatcher"_s,
                                                      u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << u"org.kde.StatusNotifierWatcher"_s << u"RegisteredStatusNotifierItems"_s;
    const QDBusMessage reply = panel().call(get, QDBus::Block, startTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    QStringList ours;
    const QStringList items = reply.arguments().constFirst().value<QDBusVariant>().variant().toStringList();
    for (const QString& item : items) {
        if (panel().interface()->servicePid(item).value() == quint32(app.processId()))
            ours.append(item);
    }
    if (!ours.isEmpty())
        m_item = ours.constLast();
    return ours;
}

QVariant TestEndToEnd::itemProperty(const QString& name)
{
    if (m_item.isEmpty())
        return {};
    QDBusMessage get = QDBusMessage::createMethodCall(m_item, StatusNotifierItem::objectPath(),
                                                      u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << u"org.kde.StatusNotifierItem"_s << name;
    const QDBusMessage reply = panel().call(get, QDBus::Block, startTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

bool TestEndToEnd::activate(const QPoint& point)
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_item, StatusNotifierItem::objectPath(),
                                                       u"org.kde.StatusNotifierItem"_s, u"Activate"_s);
    call << point.x() << point.y();
    return panel().call(call, QDBus::Block, startTimeout).type() == QDBusMessage::ReplyMessage;
}

void TestEndToEnd::startStatusNotifierHost()
{
    m_host = startProgram(QStringLiteral(PORTHIVE_STATUS_NOTIFIER_HOST_PATH), {});
    m_helpers.append(m_host);
    QVERIFY(m_host->waitForStarted(startTimeout));
    while (!m_host->canReadLine() && m_host->waitForReadyRead(startTimeout)) {
    }
    QCOMPARE(m_host->readLine().trimmed(), QByteArray("ready"));
}

QProcess* TestEndToEnd::startApplication()
{
    QProcessEnvironment environment = m_environment;
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    auto* process = new QProcess(this);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->start(QStringLiteral(PORTHIVE_APP_PATH), {});
    return process;
}

void TestEndToEnd::startTray()
{
    m_tray = startProgram(u"trayer"_s,
                          {u"--edge"_s, u"top"_s, u"--align"_s, u"right"_s, u"--widthtype"_s, u"pixel"_s, u"--width"_s,
                           u"120"_s, u"--height"_s, QString::number(panelHeight), u"--SetDockType"_s, u"true"_s,
                           u"--SetPartialStrut"_s, u"true"_s, u"--transparent"_s, u"false"_s});
    m_helpers.append(m_tray);
    QTRY_VERIFY_WITH_TIMEOUT(m_x->selectionOwned("_NET_SYSTEM_TRAY_S0"), startTimeout);
}

bool TestEndToEnd::click(const QPoint& point)
{
    QProcess xdotool;
    xdotool.setProcessEnvironment(m_environment);
    xdotool.start(u"xdotool"_s, {u"mousemove"_s, u"--sync"_s, QString::number(point.x()), QString::number(point.y()),
                                 u"click"_s, u"1"_s});
    return xdotool.waitForFinished(startTimeout) && xdotool.exitCode() == 0;
}

std::optional<XWindow> TestEndToEnd::trayIcon()
{
    const QList<XWindow> windows = m_x->windows();
    for (const XWindow& window : windows) {
        if (window.wmClass == "porthive" && window.viewable && !window.topLevel &&
            window.geometry.height() <= panelHeight && window.geometry.top() >= 0 &&
            window.geometry.bottom() < panelHeight)
            return window;
    }
    return std::nullopt;
}

std::optional<XWindow> TestEndToEnd::dropDownWindow()
{
    const QList<XWindow> windows = m_x->windows();
    for (const XWindow& window : windows) {
        if (window.wmClass == "porthive" && window.viewable && window.geometry.width() == 400)
            return window;
    }
    return std::nullopt;
}

void TestEndToEnd::trayIconAndWindow()
{
    const bool isolated = qEnvironmentVariable("PORTHIVE_OWN_PID_NAMESPACE") == u"1"_s;
    if (!isolated)
        qWarning("not in a process namespace of its own: other servers on this machine count too");

    QElapsedTimer clock;
    clock.start();
    const auto step = [&](const char* what) {
        qInfo("%s after %lld ms", what, clock.elapsed());
    };
    NodeServer server;
    QVERIFY2(server.start(), qPrintable(server.errorText()));

    QProcess* app = startApplication();
    QVERIFY(app->waitForStarted(startTimeout));
    const auto appEnded = qScopeGuard([&] { stop(app); });

    // Without a tray the window shows as an ordinary window after a short grace period.
    QTRY_VERIFY_WITH_TIMEOUT(dropDownWindow().has_value(), startTimeout);
    QVERIFY(!trayIcon());
    step("ordinary window");

    // The trays hand over, several times in one process and in every direction: a StatusNotifierItem host, which
    // quits; an X11 tray that comes up right after; the host again once that tray quit. The icon is there each time
    // (registered with the host under the product's name, or docked in the tray), shows the one running server,
    // the node server, and a click on it drops the window down under it; a second click, or one elsewhere, takes
    // it up again. An X11 tray of the test's own, with an alpha visual, takes a turn beside trayer.
    std::optional<XWindow> icon;
    IconReading reading;
    for (int round = 1; round <= 3; ++round) {
        startStatusNotifierHost();
        QTRY_COMPARE_WITH_TIMEOUT(registeredItems(*app).size(), 1, startTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(!dropDownWindow(), startTimeout);
        QCOMPARE(itemProperty(u"Title"_s), QVariant(u"Porthive"_s));
        const auto pictures = [this] {
            return qdbus_cast<QList<StatusNotifierImage>>(itemProperty(u"IconPixmap"_s).value<QDBusArgument>());
        };
        // Until the first scan the icon shows no count.
        const auto counted = [&reading](const QImage& image) {
            reading = readIcon(image, 20);
            return reading.count >= 1 && reading.distance < 16;
        };
        QTRY_VERIFY_WITH_TIMEOUT(counted(statusNotifierPicture(pictures(), 22)), scanTimeout);
        if (isolated)
            QCOMPARE(reading.count, 1);
        QVERIFY2(reading.distance < 16, qPrintable(u"the icon differs from its drawing by %1"_s.arg(reading.distance)));
        // The host says where the click was: the window drops down there, centred.
        const QPoint clickedAt(500 + 100 * round, 12);
        QVERIFY(activate(clickedAt));
        QTRY_VERIFY_WITH_TIMEOUT(dropDownWindow().has_value(), startTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(dropDownWindow().value_or(XWindow{}).geometry.left(), clickedAt.x() - 200,
                                  startTimeout);
        QVERIFY(activate(clickedAt));
        QTRY_VERIFY_WITH_TIMEOUT(!dropDownWindow(), startTimeout);
        step(qPrintable(u"round %1: status notifier item"_s.arg(round)));

        // The host quits and an X11 tray comes up at once.
        stop(m_host);
        std::unique_ptr<XEmbedTray> ownTray;
        if (round == 2) {
            XEmbedTray::Options options;
            options.visual = XEmbedTray::Visual::Alpha;
            options.panel = QPoint(screenSize.width() - 120, 0);
            ownTray = std::make_unique<XEmbedTray>(m_server.display(), options);
            QVERIFY2(ownTray->start(), "the test's own tray did not start");
        } else {
            startTray();
        }
        QTRY_VERIFY_WITH_TIMEOUT((icon = trayIcon()).has_value(), startTimeout);
        QVERIFY(registeredItems(*app).isEmpty());
        const auto shown = [&] {
            // Without a compositor an icon of 32 bits shows its premultiplied pixels as they are: on black.
            return ownTray ? m_x->grabWindow(*icon) : m_x->grab(icon->geometry);
        };
        // Drawn once the tray embedded the window.
        QTRY_VERIFY2_WITH_TIMEOUT(counted(shown()),
                                  qPrintable(u"count %1, off by %2, at %3,%4 %5x%6"_s.arg(reading.count)
                                                 .arg(reading.distance)
                                                 .arg(icon->geometry.x())
                                                 .arg(icon->geometry.y())
                                                 .arg(icon->geometry.width())
                                                 .arg(icon->geometry.height())),
                                  scanTimeout);
        step(qPrintable(u"round %1: icon in the X11 tray (count %2, off by %3)"_s.arg(round)
                            .arg(reading.count)
                            .arg(reading.distance, 0, 'f', 2)));
        if (isolated)
            QCOMPARE(reading.count, 1);
        QVERIFY2(reading.distance < 16, qPrintable(u"the icon differs from its drawing by %1"_s.arg(reading.distance)));

        // A click on the icon drops the window down under it: centred as far as the screen allows, right below the
        // icon and its panel.
        QVERIFY(click(icon->geometry.center()));
        QTRY_VERIFY_WITH_TIMEOUT(dropDownWindow().has_value(), startTimeout);
        const int expectedLeft = std::clamp(icon->geometry.center().x() - 200, 0, screenSize.width() - 400);
        QTRY_COMPARE_WITH_TIMEOUT(dropDownWindow().value_or(XWindow{}).geometry.left(), expectedLeft, startTimeout);
        const int top = dropDownWindow().value_or(XWindow{}).geometry.top();
        QVERIFY2(top > icon->geometry.bottom() && top <= panelHeight, qPrintable(QString::number(top)));
        step(qPrintable(u"round %1: window dropped down from the X11 tray"_s.arg(round)));
        if (round == 3) {
            // A click elsewhere hides it. The last round keeps its tray for what follows.
            QVERIFY(click(QPoint(200, 500)));
            QTRY_VERIFY_WITH_TIMEOUT(!dropDownWindow(), startTimeout);
            break;
        }
        // A second click on the icon takes it up again. (A click elsewhere would make the next click that comes
        // within moments count as the one that took the focus away.) A pixel aside: xdotool waits long for a move
        // to where the pointer already is.
        QVERIFY(click(icon->geometry.center() + QPoint(1, 0)));
        QTRY_VERIFY_WITH_TIMEOUT(!dropDownWindow(), startTimeout);
        ownTray.reset();
        stop(m_tray);
        QTRY_VERIFY_WITH_TIMEOUT(!m_x->selectionOwned("_NET_SYSTEM_TRAY_S0"), startTimeout);
    }

    // Launch at login is on after the first start.
    const QString entry = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart/com.vemo.porthive.desktop"_s;
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(entry), startTimeout);

    // A second start shows the running instance's window and ends at once.
    QProcess* second = startApplication();
    QVERIFY(second->waitForFinished(startTimeout));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(dropDownWindow().has_value(), startTimeout);
    QCOMPARE(app->state(), QProcess::Running);

    step("second start");
    // Quit, in the footer's right-hand corner, ends the application normally.
    QTRY_VERIFY_WITH_TIMEOUT(dropDownWindow().value_or(XWindow{}).geometry.height() > 60, startTimeout);
    const QRect window = dropDownWindow().value_or(XWindow{}).geometry;
    QVERIFY(click(window.bottomRight() - QPoint(24, 19)));
    QVERIFY2(app->waitForFinished(startTimeout), "the application did not quit");
    QCOMPARE(app->exitStatus(), QProcess::NormalExit);
    QCOMPARE(app->exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!trayIcon(), startTimeout);

    // Logging out ends it the same way.
    QProcess* again = startApplication();
    const auto againEnded = qScopeGuard([&] { stop(again); });
    QTRY_VERIFY_WITH_TIMEOUT(trayIcon().has_value(), startTimeout);
    QCOMPARE(::kill(pid_t(again->processId()), SIGTERM), 0);
    QVERIFY2(again->waitForFinished(startTimeout), "the application did not end on SIGTERM");
    QCOMPARE(again->exitStatus(), QProcess::NormalExit);
    QCOMPARE(again->exitCode(), 0);

    // Without any tray, the ordinary window is the only way into the application: closing it ends it.
    stop(m_tray);
    QTRY_VERIFY_WITH_TIMEOUT(!m_x->selectionOwned("_NET_SYSTEM_TRAY_S0"), startTimeout);
    QProcess* alone = startApplication();
    const auto aloneEnded = qScopeGuard([&] { stop(alone); });
    std::optional<XWindow> ordinary;
    QTRY_VERIFY_WITH_TIMEOUT((ordinary = dropDownWindow()).has_value(), startTimeout);
    m_x->closeWindow(ordinary->id);
    QVERIFY2(alone->waitForFinished(startTimeout), "closing the window did not end the application");
    QCOMPARE(alone->exitStatus(), QProcess::NormalExit);
    QCOMPARE(alone->exitCode(), 0);
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    QGuiApplication app(argc, argv);
    TestEndToEnd test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_endtoend.moc"
