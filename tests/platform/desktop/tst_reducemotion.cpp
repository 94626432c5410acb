#include "platform/desktop/reducemotion.h"
#include "support/privatebus.h"
#include "support/testhome.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

// A desktop settings portal holding a few settings, served on a private bus from a thread of its own, so a
// blocking call from the test's thread gets its answer.
class FakePortal : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    QVariantMap settings; // "group/key" -> value
    bool hasReadOne = true;

public Q_SLOTS:
    QDBusVariant ReadOne(const QString& group, const QString& key)
    {
        if (!hasReadOne) {
            sendErrorReply(QDBusError::UnknownMethod, u"no ReadOne here"_s);
            return {};
        }
        return lookup(group, key);
    }

    // The older method wraps the value in a second variant.
    QDBusVariant Read(const QString& group, const QString& key)
    {
        const QDBusVariant value = lookup(group, key);
        return QDBusVariant(QVariant::fromValue(value));
    }

private:
    QDBusVariant lookup(const QString& group, const QString& key)
    {
        const QString name = group + u'/' + key;
        if (!settings.contains(name)) {
            sendErrorReply(u"org.freedesktop.portal.Error.NotFound"_s, u"no such setting"_s);
            return {};
        }
        return QDBusVariant(settings.value(name));
    }
};

class TestReduceMotion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void environmentOverride_data();
    void environmentOverride();
    void kdeGlobals_data();
    void kdeGlobals();
    void portal_data();
    void portal();
    void noPortalOnTheBus();

private:
    // Serves `portal` on the private bus until the returned thread is stopped.
    void servePortal(FakePortal* portal);

    QTemporaryDir m_folder;
    QProcess m_busDaemon;
    QString m_busAddress;
    QThread m_serviceThread;
};

void TestReduceMotion::initTestCase()
{
    QVERIFY(m_folder.isValid());
    m_busAddress = startPrivateSessionBus(m_busDaemon, m_folder.path());
    QVERIFY(!m_busAddress.isEmpty());
    m_serviceThread.start();
}

void TestReduceMotion::cleanupTestCase()
{
    m_serviceThread.quit();
    m_serviceThread.wait();
    if (m_busDaemon.state() != QProcess::NotRunning) {
        m_busDaemon.terminate();
        if (!m_busDaemon.waitForFinished(5000))
            m_busDaemon.kill();
    }
}

void TestReduceMotion::environmentOverride_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected"); // -1: no opinion

    QTest::newRow("on") << QByteArray("1") << 1;
    QTest::newRow("off") << QByteArray("0") << 0;
    QTest::newRow("anything else") << QByteArray("yes") << -1;
    QTest::newRow("unset") << QByteArray() << -1;
}

void TestReduceMotion::environmentOverride()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    if (value.isNull())
        qunsetenv("PORTHIVE_REDUCE_MOTION");
    else
        qputenv("PORTHIVE_REDUCE_MOTION", value);
    const std::optional<bool> answer = ReduceMotionSources::fromEnvironment();
    QCOMPARE(answer.has_value(), expected >= 0);
    if (answer) {
        QCOMPARE(*answer, expected == 1);
        // The override wins over whatever the desktop says.
        QCOMPARE(systemPrefersReducedMotion(), expected == 1);
    }
    qunsetenv("PORTHIVE_REDUCE_MOTION");
}

void TestReduceMotion::kdeGlobals_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("expected");

    QTest::newRow("animations off") << QByteArray("[KDE]\nAnimationDurationFactor=0\n") << 1;
    QTest::newRow("written as a real number") << QByteArray("[KDE]\nAnimationDurationFactor=0.0\n") << 1;
    QTest::newRow("slower animations") << QByteArray("[General]\nfont=x\n\n[KDE]\nAnimationDurationFactor=2\n") << 0;
    QTest::newRow("faster animations") << QByteArray("[KDE]\nAnimationDurationFactor=0.25\n") << 0;
    QTest::newRow("no factor") << QByteArray("[KDE]\nSingleClick=false\n") << -1;
    QTest::newRow("not a number") << QByteArray("[KDE]\nAnimationDurationFactor=fast\n") << -1;
    QTest::newRow("no file") << QByteArray() << -1;
}

void TestReduceMotion::kdeGlobals()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, expected);
    QTemporaryDir config;
    QVERIFY(config.isValid());
    if (!contents.isNull()) {
        QFile file(config.filePath(u"kdeglobals"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    const std::optional<bool> answer = ReduceMotionSources::fromKdeGlobals(config.path());
    QCOMPARE(answer.has_value(), expected >= 0);
    if (answer)
        QCOMPARE(*answer, expected == 1);
}

void TestReduceMotion::servePortal(FakePortal* portal)
{
    portal->moveToThread(&m_serviceThread);
    bool registered = false;
    QMetaObject::invokeMethod(
        portal,
        [portal, address = m_busAddress, &registered] {
            QDBusConnection bus = QDBusConnection::connectToBus(address, u"portal-service"_s);
            registered =
                bus.registerService(u"org.freedesktop.portal.Desktop"_s) &&
                bus.registerObject(u"/org/freedesktop/portal/desktop"_s, portal, QDBusConnection::ExportAllSlots);
        },
        Qt::BlockingQueuedConnection);
    QVERIFY(registered);
}

void TestReduceMotion::portal_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<bool>("hasReadOne");
    QTest::addColumn<int>("expected");

    const QString gnome = u"org.gnome.desktop.interface/enable-animations"_s;
    const QString kde = u"org.kde.kdeglobals.KDE/AnimationDurationFactor"_s;
    QTest::newRow("GNOME animations off") << QVariantMap{{gnome, false}} << true << 1;
    QTest::newRow("GNOME animations on") << QVariantMap{{gnome, true}} << true << 0;
    QTest::newRow("an older portal without ReadOne") << QVariantMap{{gnome, false}} << false << 1;
    QTest::newRow("KDE animations off") << QVariantMap{{kde, 0.0}} << true << 1;
    QTest::newRow("KDE factor as text") << QVariantMap{{kde, u"0"_s}} << true << 1;
    QTest::newRow("KDE animations on") << QVariantMap{{kde, 1.0}} << true << 0;
    QTest::newRow("GNOME answers first") << QVariantMap{{gnome, true}, {kde, 0.0}} << true << 0;
    QTest::newRow("neither setting") << QVariantMap{} << true << -1;
}

void TestReduceMotion::portal()
{
    QFETCH(QVariantMap, settings);
    QFETCH(bool, hasReadOne);
    QFETCH(int, expected);

    auto* fake = new FakePortal;
    fake->settings = settings;
    fake->hasReadOne = hasReadOne;
    servePortal(fake);
    auto cleanup = qScopeGuard([&] {
        QMetaObject::invokeMethod(
            fake,
            [fake] {
                QDBusConnection bus(u"portal-service"_s);
                bus.unregisterObject(u"/org/freedesktop/portal/desktop"_s);
                bus.unregisterService(u"org.freedesktop.portal.Desktop"_s);
                delete fake;
            },
            Qt::BlockingQueuedConnection);
        QDBusConnection::disconnectFromBus(u"portal-service"_s);
    });

    const QDBusConnection client = QDBusConnection::connectToBus(m_busAddress, u"client"_s);
    QVERIFY(client.isConnected());
    const std::optional<bool> answer = ReduceMotionSources::fromPortal(client, 5000);
    QCOMPARE(answer.has_value(), expected >= 0);
    if (answer)
        QCOMPARE(*answer, expected == 1);
}

void TestReduceMotion::noPortalOnTheBus()
{
    const QDBusConnection client = QDBusConnection::connectToBus(m_busAddress, u"client"_s);
    QVERIFY(client.isConnected());
    QCOMPARE(ReduceMotionSources::fromPortal(client, 5000), std::nullopt);
    QCOMPARE(ReduceMotionSources::fromPortal(QDBusConnection(u"not-connected"_s), 5000), std::nullopt);
}

PORTHIVE_TEST_MAIN(TestReduceMotion)
#include "tst_reducemotion.moc"
