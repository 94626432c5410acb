#include "platform/desktop/statusnotifieritem.h"
#include "support/fakestatusnotifierwatcher.h"
#include "support/privatebus.h"
#include "support/testhome.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int busTimeout = 30000;
const QString itemInterface = u"org.kde.StatusNotifierItem"_s;

} // namespace

// Counts one signal of the item as the panel receives it.
class SignalCounter : public QObject
{
    Q_OBJECT

public:
    int count = 0;

public Q_SLOTS:
    void received() { ++count; }
};

class TestStatusNotifierItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void registersWithTheWatcher();
    void fixedProperties_data();
    void fixedProperties();
    void iconPicturesInNetworkByteOrder();
    void toolTipFollows();
    void activateIsAClickWhereTheHostSays_data();
    void activateIsAClickWhereTheHostSays();
    void laterClickWithoutPositionForgetsTheLast();
    void refusedRegistrationFails_data();
    void refusedRegistrationFails();
    void acceptedRegistrationDoesNotFail();
    void goneWithTheObject();

private:
    QDBusConnection panel() const { return QDBusConnection::connectToBus(m_address, u"panel"_s); }
    // A property of the item as the panel reads it; the item answers on this thread, so the call runs the loop.
    QVariant property(const StatusNotifierItem& item, const QString& name);
    // Counts the item's signal `name` as the panel receives it.
    bool count(const StatusNotifierItem& item, const QString& name, SignalCounter& counter);

    QTemporaryDir m_scratch;
    QProcess m_bus;
    QString m_address;
    FakeStatusNotifierWatcher m_watcher;
};

void TestStatusNotifierItem::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    m_address = startPrivateSessionBus(m_bus, m_scratch.path(), busTimeout);
    QVERIFY(!m_address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    QVERIFY(QDBusConnection::sessionBus().isConnected());
    QVERIFY(panel().isConnected());
    QVERIFY(m_watcher.publish(panel()));
}

void TestStatusNotifierItem::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(u"panel"_s);
    if (m_bus.state() != QProcess::NotRunning) {
        m_bus.kill();
        m_bus.waitForFinished(busTimeout);
    }
}

QVariant TestStatusNotifierItem::property(const StatusNotifierItem& item, const QString& name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(item.serviceName(), StatusNotifierItem::objectPath(),
                                                      u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << itemInterface << name;
    const QDBusMessage reply = panel().call(get, QDBus::BlockWithGui, busTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

bool TestStatusNotifierItem::count(const StatusNotifierItem& item, const QString& name, SignalCounter& counter)
{
    return panel().connect(item.serviceName(), StatusNotifierItem::objectPath(), itemInterface, name, &counter,
                           SLOT(received()));
}

void TestStatusNotifierItem::registersWithTheWatcher()
{
    m_watcher.items.clear();
    StatusNotifierItem item(u"porthive"_s, u"Porthive"_s);
    QVERIFY(item.serviceName().startsWith(u"org.kde.StatusNotifierItem-%1-"_s.arg(QCoreApplication::applicationPid())));
    QVERIFY(m_watcher.items.isEmpty());
    item.show();
    QTRY_COMPARE_WITH_TIMEOUT(m_watcher.items, QStringList{item.serviceName()}, busTimeout);
    QVERIFY(panel().interface()->isServiceRegistered(item.serviceName()));
    // A second item has a name of its own.
    StatusNotifierItem other(u"porthive"_s, u"Porthive"_s);
    QVERIFY(other.serviceName() != item.serviceName());
}

void TestStatusNotifierItem::fixedProperties_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("title") << u"Title"_s << QVariant(u"Porthive"_s);
    QTest::newRow("id") << u"Id"_s << QVariant(u"porthive"_s);
    QTest::newRow("category") << u"Category"_s << QVariant(u"ApplicationStatus"_s);
    QTest::newRow("status") << u"Status"_s << QVariant(u"Active"_s);
    // Without a menu a host sends Activate for a left click.
    QTest::newRow("not a menu") << u"ItemIsMenu"_s << QVariant(false);
    QTest::newRow("no menu") << u"Menu"_s << QVariant::fromValue(QDBusObjectPath(u"/NO_DBUSMENU"_s));
}

void TestStatusNotifierItem::fixedProperties()
{
    QFETCH(QString, name);
    QFETCH(QVariant, expected);
    StatusNotifierItem item(u"porthive"_s, u"Porthive"_s);
    item.show();
    QCOMPARE(property(item, name), expected);
}

void TestStatusNotifierItem::iconPicturesInNetworkByteOrder()
{
    StatusNotifierItem item(u"porthive"_s, u"Porthive"_s);
    item.show();
    SignalCounter newIcons;
    QVERIFY(count(item, u"NewIcon"_s, newIcons));

    // Two sizes; the top left pixel of each is opaque red, the next a half transparent blue.
    QIcon icon;
    for (int side : {16, 32}) {
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        image.setPixelColor(0, 0, QColor(255, 0, 0));
        image.setPixelColor(1, 0, QColor(0, 0, 255, 128));
        icon.addPixmap(QPixmap::fromImage(image));
    }
    item.setIcon(icon);
    QTRY_COMPARE_WITH_TIMEOUT(newIcons.count, 1, busTimeout);

    const auto images = qdbus_cast<QList<StatusNotifierImage>>(property(item, u"IconPixmap"_s).value<QDBusArgument>());
    QCOMPARE(images.size(), 2);
    for (const StatusNotifierImage& image : images) {
        QVERIFY(image.width == 16 || image.width == 32);
        QCOMPARE(image.height, image.width);
        QCOMPARE(image.argb.size(), image.width * image.height * 4);
        // Alpha, red, green, blue, most significant first, not premultiplied.
        QCOMPARE(image.argb.left(8), QByteArray::fromHex("ffff0000800000ff"));
    }
}

void TestStatusNotifierItem::toolTipFollows()
{
    StatusNotifierItem item(u"porthive"_s, u"Porthive"_s);
    item.show();
    SignalCounter newToolTips;
    QVERIFY(count(item, u"NewToolTip"_s, newToolTips));
    item.setToolTip(u"Porthive — 2 active"_s);
    QTRY_COMPARE_WITH_TIMEOUT(newToolTips.count, 1, busTimeout);
    const auto toolTip = qdbus_cast<StatusNotifierToolTip>(property(item, u"ToolTip"_s).value<QDBusArgument>());
    QCOMPARE(toolTip.title, u"Porthive — 2 active"_s);
    // The same text again is no change.
    item.setToolTip(u"Porthive — 2 active"_s);
    item.setToolTip(u"Porthive — error"_s);
    QTRY_COMPARE_WITH_TIMEOUT(newToolTips.count, 2, busTimeout);
}

void TestStatusNotifierItem::activateIsAClickWhereTheHostSays_data()
{
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("in a top panel") << QPoint(640, 12) << QRect(640, 12, 1, 1);
    QTest::newRow("at the right edge of a bottom panel") << QPoint(1279, 790) << QRect(1279, 790, 1, 1);
    // Hosts that do not know where the click was: the scene takes the pointer.
    QTest::newRow("no position") << QPoint(0, 0) << QRect();
}

void TestStatusNotifierItem::activateIsAClickWhereTheHostSays()
{
    QFETCH(QPoint, position);
    QFETCH(QRect, geometry);
    StatusNotifierItem item(u"porthive"_s, u"Porthive"_s);
    item.show();
    QSignalSpy clicks(&item, &StatusItem::activated);
    QVERIFY(clicks.isValid());
    QDBusMessage activate = QDBusMessage::createMethodCall(item.serviceName(), StatusNotifierItem::objectPath(),
                                                           itemInterface, u"Activate"_s);
    activate << position.x() << position.y();
    panel().asyncCall(activate);
    QVERIFY(clicks.wait(busTimeout));
    QCOMPARE(clicks.count(), 1);
    // Known by the time the click is told.
    QCOMPARE(clicks.constFirst().size(), 0);
    QCOMPARE(item.geometry(), geometry);
}

void TestStatusNotifierItem::laterClickWithoutPositionForgetsTheLast()
{
    StatusNotifierItem item(u"porthive"_s, u"Porthive"_s);
    item.show();
    QSignalSpy clicks(&item, &StatusItem::activated);
    QVERIFY(clicks.isValid());
    for (const QPoint& position : {QPoint(640, 12), QPoint(0, 0)}) {
        QDBusMessage activate = QDBusMessage::createMethodCall(item.serviceName(), StatusNotifierItem::objectPath(),
                                                               itemInterface, u"Activate"_s);
        activate << position.x() << position.y();
        panel().asyncCall(activate);
        QVERIFY(clicks.wait(busTimeout));
    }
    QVERIFY(item.geometry().isNull());
}

void TestStatusNotifierItem::refusedRegistrationFails_data()
{
    QTest::addColumn<bool>("watcherThere");
    QTest::newRow("the watcher refuses") << true;
    QTest::newRow("no watcher answers") << false;
}

void TestStatusNotifierItem::refusedRegistrationFails()
{
    QFETCH(bool, watcherThere);
    m_watcher.items.clear();
    m_watcher.refuse = true;
    if (!watcherThere)
        m_watcher.withdraw(panel());
    const auto restored = qScopeGuard([this, watcherThere] {
        m_watcher.refuse = false;
        if (!watcherThere)
            QVERIFY(m_watcher.publish(panel()));
    });

    StatusNotifierItem item(u"porthive"_s, u"Porthive"_s);
    QSignalSpy failures(&item, &StatusItem::failed);
    QVERIFY(failures.isValid());
    item.show();
    QCOMPARE(failures.count(), 0);
    QVERIFY(failures.wait(busTimeout));
    QCOMPARE(failures.count(), 1);
    QVERIFY(m_watcher.items.isEmpty());
}

void TestStatusNotifierItem::acceptedRegistrationDoesNotFail()
{
    m_watcher.items.clear();
    StatusNotifierItem item(u"porthive"_s, u"Porthive"_s);
    QSignalSpy failures(&item, &StatusItem::failed);
    QVERIFY(failures.isValid());
    item.show();
    QTRY_COMPARE_WITH_TIMEOUT(m_watcher.items, QStringList{item.serviceName()}, busTimeout);
    // The watcher answered before it answers a later question on the same connection.
    QDBusMessage question = QDBusMessage::createMethodCall(
        FakeStatusNotifierWatcher::service, FakeStatusNotifierWatcher::path, u"org.freedesktop.DBus.Peer"_s, u"Ping"_s);
    QCOMPARE(QDBusConnection::sessionBus().call(question, QDBus::BlockWithGui, busTimeout).type(),
             QDBusMessage::ReplyMessage);
    QCoreApplication::processEvents();
    QCOMPARE(failures.count(), 0);
}

void TestStatusNotifierItem::goneWithTheObject()
{
    QString name;
    {
        StatusNotifierItem item(u"porthive"_s, u"Porthive"_s);
        item.show();
        name = item.serviceName();
        QVERIFY(panel().interface()->isServiceRegistered(name));
    }
    // The watcher forgets an item whose name has no owner any more.
    QVERIFY(!panel().interface()->isServiceRegistered(name));
    // A later item can take the same object path.
    StatusNotifierItem next(u"porthive"_s, u"Porthive"_s);
    next.show();
    QCOMPARE(property(next, u"Title"_s), QVariant(u"Porthive"_s));
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    QGuiApplication app(argc, argv);
    TestStatusNotifierItem test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_statusnotifieritem.moc"
