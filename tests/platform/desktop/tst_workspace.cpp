#include "platform/desktop/workspace.h"
#include "support/privatebus.h"
#include "support/testhome.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int callTimeout = 30000;
const QString fileManagerService = u"org.freedesktop.FileManager1"_s;

} // namespace

// A file manager on the test's own bus that records what it was asked to show.
class FakeFileManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shownItems;
    bool refuse = false;

public Q_SLOTS:
    Q_SCRIPTABLE void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId)
        if (refuse) {
            sendErrorReply(QDBusError::Failed, u"cannot show"_s);
            return;
        }
        shownItems += uris;
    }
};

class TestWorkspace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void revealWithoutFileManagerOpensTheEnclosingFolder();
    void revealAsksTheFileManager();
    void refusedRevealFallsBackToTheEnclosingFolder();
    void fileManagerWithoutOpener();
    void nothingToShowIsReported();
    void openURL_data();
    void openURL();

private:
    void installOpener();
    void registerFileManager();
    QStringList openerCalls() const;

    QTemporaryDir m_scratch;
    QProcess m_bus;
    QString m_address;
    std::unique_ptr<FakeFileManager> m_fileManager;
};

void TestWorkspace::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    // A bus of the test's own, so no real desktop is ever asked to show anything.
    m_address = startPrivateSessionBus(m_bus, m_scratch.path(), callTimeout);
    QVERIFY(!m_address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    QVERIFY(QDBusConnection::sessionBus().isConnected());

    // Only a fake opener is on the search path.
    QVERIFY(QDir().mkpath(m_scratch.filePath(u"bin"_s)));
    qputenv("PATH", (m_scratch.filePath(u"bin"_s) + u":/usr/bin:/bin"_s).toUtf8());
}

void TestWorkspace::init()
{
    installOpener();
    QFile::remove(m_scratch.filePath(u"opened"_s));
}

void TestWorkspace::cleanup()
{
    if (m_fileManager) {
        QDBusConnection owner = QDBusConnection::connectToBus(m_address, u"file-manager"_s);
        owner.unregisterObject(u"/org/freedesktop/FileManager1"_s);
        owner.unregisterService(fileManagerService);
        m_fileManager.reset();
        QTRY_VERIFY_WITH_TIMEOUT(
            !QDBusConnection::sessionBus().interface()->isServiceRegistered(fileManagerService).value(), callTimeout);
    }
}

void TestWorkspace::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(u"file-manager"_s);
    if (m_bus.state() != QProcess::NotRunning) {
        m_bus.kill();
        m_bus.waitForFinished(callTimeout);
    }
}

void TestWorkspace::installOpener()
{
    const QString script = m_scratch.filePath(u"bin/xdg-open"_s);
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + QFile::encodeName(m_scratch.filePath(u"opened"_s)) + "'\n");
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void TestWorkspace::registerFileManager()
{
    m_fileManager = std::make_unique<FakeFileManager>();
    QDBusConnection owner = QDBusConnection::connectToBus(m_address, u"file-manager"_s);
    QVERIFY(owner.isConnected());
    QVERIFY(owner.registerObject(u"/org/freedesktop/FileManager1"_s, m_fileManager.get(),
                                 QDBusConnection::ExportScriptableSlots));
    QVERIFY(owner.registerService(fileManagerService));
}

QStringList TestWorkspace::openerCalls() const
{
    QFile file(m_scratch.filePath(u"opened"_s));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

void TestWorkspace::revealWithoutFileManagerOpensTheEnclosingFolder()
{
    SystemWorkspace workspace;
    QVERIFY(workspace.revealPath(u"/work/apps/web/"_s));
    QTRY_COMPARE_WITH_TIMEOUT(openerCalls(), QStringList{u"/work/apps"_s}, callTimeout);
}

void TestWorkspace::revealAsksTheFileManager()
{
    registerFileManager();
    SystemWorkspace workspace;
    QVERIFY(workspace.revealPath(u"/work/apps/my web"_s));
    QTRY_COMPARE_WITH_TIMEOUT(m_fileManager->shownItems, QStringList{u"file:///work/apps/my%20web"_s}, callTimeout);
    QCOMPARE(openerCalls(), QStringList());
}

void TestWorkspace::refusedRevealFallsBackToTheEnclosingFolder()
{
    registerFileManager();
    m_fileManager->refuse = true;
    SystemWorkspace workspace;
    QVERIFY(workspace.revealPath(u"/work/apps/web"_s));
    QTRY_COMPARE_WITH_TIMEOUT(openerCalls(), QStringList{u"/work/apps"_s}, callTimeout);
}

void TestWorkspace::fileManagerWithoutOpener()
{
    QVERIFY(QFile::remove(m_scratch.filePath(u"bin/xdg-open"_s)));
    registerFileManager();
    SystemWorkspace workspace;
    QVERIFY(workspace.revealPath(u"/work/apps/web"_s));
    QTRY_COMPARE_WITH_TIMEOUT(m_fileManager->shownItems, QStringList{u"file:///work/apps/web"_s}, callTimeout);
}

void TestWorkspace::nothingToShowIsReported()
{
    QVERIFY(QFile::remove(m_scratch.filePath(u"bin/xdg-open"_s)));
    SystemWorkspace workspace;
    QVERIFY(!workspace.revealPath(u"/work/apps/web"_s));
    QVERIFY(!workspace.revealPath(QString()));
    QVERIFY(!workspace.openURL(QUrl(u"http://127.0.0.1:3000/"_s)));
}

void TestWorkspace::openURL_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("loopback server") << QUrl(u"http://127.0.0.1:5173/"_s) << true;
    QTest::newRow("path with a space") << QUrl(u"http://localhost:3000/a b"_s) << true;
    QTest::newRow("empty") << QUrl() << false;
    QTest::newRow("no scheme") << QUrl(u"-n"_s) << false;
}

void TestWorkspace::openURL()
{
    QFETCH(QUrl, url);
    QFETCH(bool, accepted);
    SystemWorkspace workspace;
    QCOMPARE(workspace.openURL(url), accepted);
    if (accepted)
        QTRY_COMPARE_WITH_TIMEOUT(openerCalls(), QStringList{url.toString(QUrl::FullyEncoded)}, callTimeout);
    else
        QCOMPARE(openerCalls(), QStringList());
}

PORTHIVE_TEST_MAIN(TestWorkspace)
#include "tst_workspace.moc"
