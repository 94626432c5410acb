// The real application started in a Wayland session: a real compositor (weston, drawing into the test's X server,
// which gives it a seat as a desktop has) and a real X server (Xvfb, standing in for XWayland). Without a choice of
// the user's it runs on X11, where its window can place itself under the tray icon and the X11 tray exists; a
// platform the user chose is kept; with a DISPLAY that no X server answers it runs on Wayland.
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

// A display with no X server behind it, as a DISPLAY left from an ended XWayland names.
QString staleDisplay()
{
    for (int number = 500;; ++number) {
        if (!QFile::exists(u"/tmp/.X11-unix/X%1"_s.arg(number)) && !QFile::exists(u"/tmp/.X%1-lock"_s.arg(number)))
            return u":%1"_s.arg(number);
    }
}

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
    QProcessEnvironment compositorEnvironment = QProcessEnvironment::systemEnvironment();
    compositorEnvironment.insert(u"DISPLAY"_s, QString::fromLatin1(m_x.display()));
    m_compositor.setProcessEnvironment(compositorEnvironment);
    m_compositor.start(u"weston"_s, {u"--backend=x11-backend.so"_s, u"--use-pixman"_s, u"--socket="_s + socketName,
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
    QTest::addColumn<bool>("xServerAnswers");
    QTest::addColumn<QString>("platform");
    QTest::newRow("no choice: X11") << QString() << true << u"xcb"_s;
    QTest::newRow("the user's wayland") << u"wayland"_s << true << u"wayland"_s;
    QTest::newRow("stale DISPLAY: Wayland") << QString() << false << u"wayland"_s;
}

void TestWaylandStartup::platform()
{
    QFETCH(QString, chosen);
    QFETCH(bool, xServerAnswers);
    QFETCH(QString, platform);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_SESSION_TYPE"_s, u"wayland"_s);
    environment.insert(u"WAYLAND_DISPLAY"_s, socketName);
    environment.insert(u"DISPLAY"_s, xServerAnswers ? QString::fromLatin1(m_x.display()) : staleDisplay());
    // Qt prefers X11 on its own on one desktop; none here, so without a choice it would take Wayland.
    environment.remove(u"XDG_CURRENT_DESKTOP"_s);
    environment.remove(u"XDG_SESSION_DESKTOP"_s);
    environment.remove(u"QT_QPA_PLATFORM"_s);
    if (!chosen.isEmpty())
        environment.insert(u"QT_QPA_PLATFORM"_s, chosen);
    // No session bus: no real desktop service is asked.
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent/porthive-test-bus"_s);
    // The start-up says which platform Qt runs on, the window which renderer draws it.
    environment.insert(u"QT_LOGGING_RULES"_s, u"porthive.startup.info=true\nporthive.window.info=true"_s);

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

    // It runs there: a second start's request reaches it and its window is drawn.
    QProcess second;
    second.setProcessEnvironment(environment);
    second.setStandardInputFile(QProcess::nullDevice());
    second.start(QStringLiteral(PORTHIVE_APP_PATH), {});
    QVERIFY(second.waitForFinished(startTimeout));
    QCOMPARE(second.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT((said += app.readAllStandardError()).contains("porthive.window: scene graph") ||
                                 app.state() == QProcess::NotRunning,
                             startTimeout);
    QVERIFY2(app.state() == QProcess::Running, said.constData());
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
