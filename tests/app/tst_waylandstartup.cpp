// The real application started in a Wayland session: a real compositor (weston, headless) and a real X server
// (Xvfb, standing in for XWayland). Without a choice of the user's it runs on X11, where its window can place
// itself under the tray icon and the X11 tray exists; a platform the user chose is kept.
#include "support/testhome.h"
#include "support/xserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int startTimeout = 30000;
const QString socketName = u"porthive-test-wayland"_s;

} // namespace

class TestWaylandStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void platform_data();
    void platform();

private:
    XServer m_x;
    QProcess m_compositor;
};

void TestWaylandStartup::initTestCase()
{
    for (const QString& tool : {u"Xvfb"_s, u"weston"_s}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + u" is not installed (scripts/setup installs it)"_s));
    }
    QVERIFY(m_x.start());
    m_compositor.setProcessChannelMode(QProcess::ForwardedChannels);
    m_compositor.start(u"weston"_s, {u"--backend=headless-backend.so"_s, u"--socket="_s + socketName,
                                     u"--idle-time=0"_s, u"--no-config"_s});
    QVERIFY(m_compositor.waitForStarted(startTimeout));
    // The compositor listens once its socket is in the runtime folder.
    const QString socket = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(socketName);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket) || m_compositor.state() == QProcess::NotRunning, startTimeout);
    QVERIFY2(m_compositor.state() == QProcess::Running, "weston did not start");
}

void TestWaylandStartup::cleanupTestCase()
{
    if (m_compositor.state() == QProcess::NotRunning)
        return;
    m_compositor.terminate();
    if (!m_compositor.waitForFinished(startTimeout)) {
        m_compositor.kill();
        m_compositor.waitForFinished(startTimeout);
    }
}

void TestWaylandStartup::platform_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("platform");
    QTest::newRow("no choice: X11") << QString() << u"xcb"_s;
    QTest::newRow("the user's wayland") << u"wayland"_s << u"wayland"_s;
}

void TestWaylandStartup::platform()
{
    QFETCH(QString, chosen);
    QFETCH(QString, platform);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_SESSION_TYPE"_s, u"wayland"_s);
    environment.insert(u"WAYLAND_DISPLAY"_s, socketName);
    environment.insert(u"DISPLAY"_s, QString::fromLatin1(m_x.display()));
    // Qt prefers X11 on its own on one desktop; none here, so without a choice it would take Wayland.
    environment.remove(u"XDG_CURRENT_DESKTOP"_s);
    environment.remove(u"XDG_SESSION_DESKTOP"_s);
    environment.remove(u"QT_QPA_PLATFORM"_s);
    if (!chosen.isEmpty())
        environment.insert(u"QT_QPA_PLATFORM"_s, chosen);
    // No session bus: no real desktop service is asked.
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent/porthive-test-bus"_s);
    // The start-up says which platform Qt runs on.
    environment.insert(u"QT_LOGGING_RULES"_s, u"porthive.startup.info=true"_s);

    QProcess app;
    app.setProcessEnvironment(environment);
    app.setStandardInputFile(QProcess::nullDevice());
    app.start(QStringLiteral(PORTHIVE_APP_PATH), {});
    QVERIFY(app.waitForStarted(startTimeout));
    const auto stopped = qScopeGuard([&] {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(startTimeout);
        }
    });
    QByteArray said;
    const QByteArray expected = "platform \"" + platform.toUtf8() + '"';
    QTRY_VERIFY_WITH_TIMEOUT((said += app.readAllStandardError()).contains("porthive.startup: platform") ||
                                 app.state() == QProcess::NotRunning,
                             startTimeout);
    QVERIFY2(said.contains(expected), said.constData());
    QCOMPARE(app.state(), QProcess::Running);
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    QCoreApplication app(argc, argv);
    TestWaylandStartup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_waylandstartup.moc"
