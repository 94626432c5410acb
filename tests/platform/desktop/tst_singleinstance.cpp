#include "platform/desktop/singleinstance.h"
#include "support/testhome.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr int processTimeout = 30000;
const QString instanceName = u"com.vemo.porthive"_s;

// The test runs itself as the other start: "activate" asks the running instance for its window, "hold" becomes
// the running instance and stays until it is killed.
int childMain(const QByteArray& mode)
{
    SingleInstance instance(qEnvironmentVariable("PORTHIVE_INSTANCE_FOLDER"), instanceName);
    if (mode == "activate") {
        if (instance.claim())
            return 3;
        return instance.activateRunningInstance() == SingleInstance::Activation::Shown ? 0 : 1;
    }
    if (!instance.claim())
        return 4;
    std::printf("claimed\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void laterStartShowsTheRunningInstance();
    void oneInstancePerFolder();
    void instanceThatDiedLeavesNothingBehind();
    void noRunningInstanceToAsk();
    void damagedLockIsTakenOver_data();
    void damagedLockIsTakenOver();
    void lockNamesItsHolder();
    void liveInstanceThatDoesNotAnswer();
    void folderAtTheSocketPath();
    void unusableLockDoesNotBlockTheStart();
    void strayInputIsIgnored();
    void socketIsTheUsersOnly();

private:
    QProcess* startChild(const QByteArray& mode);

    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestSingleInstance::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
}

QProcess* TestSingleInstance::startChild(const QByteArray& mode)
{
    auto* child = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PORTHIVE_INSTANCE_CHILD"_s, QString::fromLatin1(mode));
    environment.insert(u"PORTHIVE_INSTANCE_FOLDER"_s, m_folder->path());
    child->setProcessEnvironment(environment);
    child->start(QCoreApplication::applicationFilePath(), {});
    return child;
}

void TestSingleInstance::laterStartShowsTheRunningInstance()
{
    SingleInstance running(m_folder->path(), instanceName);
    QVERIFY(running.claim());
    QSignalSpy activations(&running, &SingleInstance::activationRequested);
    QVERIFY(activations.isValid());

    QProcess* second = startChild("activate");
    QVERIFY(activations.wait(processTimeout));
    QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, processTimeout);
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(activations.count(), 1);
}

void TestSingleInstance::oneInstancePerFolder()
{
    SingleInstance first(m_folder->path(), instanceName);
    SingleInstance second(m_folder->path(), instanceName);
    QTemporaryDir otherFolder;
    SingleInstance elsewhere(otherFolder.path(), instanceName);
    QVERIFY(first.claim());
    QVERIFY(!second.claim());
    QVERIFY(elsewhere.claim());
}

void TestSingleInstance::instanceThatDiedLeavesNothingBehind()
{
    QProcess* dead = startChild("hold");
    QVERIFY(dead->waitForReadyRead(processTimeout));
    QCOMPARE(dead->readLine().trimmed(), QByteArray("claimed"));
    SingleInstance blocked(m_folder->path(), instanceName);
    QVERIFY(!blocked.claim());
    // Killed without a chance to remove its lock or its socket.
    ::kill(pid_t(dead->processId()), SIGKILL);
    QVERIFY(dead->waitForFinished(processTimeout));
    QCOMPARE(blocked.activateRunningInstance(std::chrono::milliseconds(processTimeout)),
             SingleInstance::Activation::Gone);
    QVERIFY(QFile::exists(blocked.lockPath()));
    QVERIFY(QFile::exists(blocked.socketPath()));

    SingleInstance next(m_folder->path(), instanceName);
    QVERIFY(next.claim());
    QSignalSpy activations(&next, &SingleInstance::activationRequested);
    QProcess* later = startChild("activate");
    QVERIFY(activations.wait(processTimeout));
    QVERIFY(later->waitForFinished(processTimeout));
    QCOMPARE(later->exitCode(), 0);
}

void TestSingleInstance::noRunningInstanceToAsk()
{
    SingleInstance lonely(m_folder->path(), instanceName);
    // Nobody holds the lock: the asking start may take the place, whatever the socket path holds.
    QCOMPARE(lonely.activateRunningInstance(60s), SingleInstance::Activation::Gone);
    QFile leftover(lonely.socketPath());
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.close();
    QCOMPARE(lonely.activateRunningInstance(60s), SingleInstance::Activation::Gone);
}

void TestSingleInstance::damagedLockIsTakenOver_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("garbage") << QByteArray("\xff\xfe not a lock \0\n\n\n");
    // As a start before a change of hostname wrote it, with a pid that is alive here.
    QTest::newRow("another host's") << QByteArray::number(QCoreApplication::applicationPid()) +
                                           "\nporthive\nsome-other-host\n";
    QTest::newRow("a pid that ended") << QByteArray("2147483646\nporthive\n");
}

void TestSingleInstance::damagedLockIsTakenOver()
{
    QFETCH(QByteArray, content);
    SingleInstance start(m_folder->path(), instanceName);
    QFile lock(start.lockPath());
    QVERIFY(lock.open(QIODevice::WriteOnly));
    QCOMPARE(lock.write(content), content.size());
    lock.close();

    QVERIFY(start.claim());
    QCOMPARE(start.errorString(), QString());
    QSignalSpy activations(&start, &SingleInstance::activationRequested);
    QProcess* later = startChild("activate");
    QVERIFY(activations.wait(processTimeout));
    QVERIFY(later->waitForFinished(processTimeout));
    QCOMPARE(later->exitCode(), 0);
}

void TestSingleInstance::lockNamesItsHolder()
{
    SingleInstance running(m_folder->path(), instanceName);
    QFile lock(running.lockPath());
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write("1234567\nsomething longer than a pid that the holder must not leave behind\n");
    lock.close();
    QVERIFY(running.claim());
    QVERIFY(lock.open(QIODevice::ReadOnly));
    QCOMPARE(lock.readAll(), QByteArray::number(QCoreApplication::applicationPid()) + '\n');
}

void TestSingleInstance::liveInstanceThatDoesNotAnswer()
{
    QProcess* frozen = startChild("hold");
    QVERIFY(frozen->waitForReadyRead(processTimeout));
    QCOMPARE(frozen->readLine().trimmed(), QByteArray("claimed"));
    const auto pid = pid_t(frozen->processId());
    ::kill(pid, SIGSTOP);
    const auto resumed = qScopeGuard([pid] { ::kill(pid, SIGCONT); });

    SingleInstance later(m_folder->path(), instanceName);
    QVERIFY(!later.claim());
    QCOMPARE(later.activateRunningInstance(300ms), SingleInstance::Activation::NoAnswer);
    QVERIFY2(later.errorString().startsWith(u"Porthive is already running (process %1) but does not answer"_s.arg(pid)),
             qPrintable(later.errorString()));

    // Once it runs again it answers as before.
    ::kill(pid, SIGCONT);
    SingleInstance next(m_folder->path(), instanceName);
    QVERIFY(!next.claim());
    QCOMPARE(next.activateRunningInstance(std::chrono::milliseconds(processTimeout)),
             SingleInstance::Activation::Shown);
}

void TestSingleInstance::folderAtTheSocketPath()
{
    SingleInstance running(m_folder->path(), instanceName);
    QVERIFY(QDir().mkpath(running.socketPath() + u"/kept"_s));
    QVERIFY(running.claim());
    QCOMPARE(running.errorString(),
             u"later starts cannot reach this Porthive: %1 is a folder, not a socket"_s.arg(running.socketPath()));
    QVERIFY(QFileInfo(running.socketPath() + u"/kept"_s).isDir());

    SingleInstance later(m_folder->path(), instanceName);
    QVERIFY(!later.claim());
    // Nothing will ever listen there: the answer comes at once, not at the end of the time allowed.
    QElapsedTimer asked;
    asked.start();
    QCOMPARE(later.activateRunningInstance(60s), SingleInstance::Activation::NoAnswer);
    QVERIFY(asked.elapsed() < 30000);
    QCOMPARE(later.errorString(),
             u"Porthive is already running (process %1) but cannot be reached: %2 is not a socket"_s
                 .arg(QCoreApplication::applicationPid())
                 .arg(running.socketPath()));
}

void TestSingleInstance::unusableLockDoesNotBlockTheStart()
{
    SingleInstance start(m_folder->path(), instanceName);
    QVERIFY(QDir().mkpath(start.lockPath()));
    QVERIFY(start.claim());
    QVERIFY2(start.errorString().startsWith(u"cannot use the lock %1"_s.arg(start.lockPath())),
             qPrintable(start.errorString()));
}

void TestSingleInstance::strayInputIsIgnored()
{
    SingleInstance running(m_folder->path(), instanceName);
    QVERIFY(running.claim());
    QSignalSpy activations(&running, &SingleInstance::activationRequested);
    QLocalSocket socket;
    socket.connectToServer(running.socketPath());
    QVERIFY(socket.waitForConnected(processTimeout));
    socket.write(QByteArray(4096, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QLocalSocket::UnconnectedState, processTimeout);
    QCOMPARE(activations.count(), 0);

    QLocalSocket other;
    other.connectToServer(running.socketPath());
    QVERIFY(other.waitForConnected(processTimeout));
    other.write("quit\n");
    QTRY_COMPARE_WITH_TIMEOUT(other.state(), QLocalSocket::UnconnectedState, processTimeout);
    QCOMPARE(activations.count(), 0);
}

void TestSingleInstance::socketIsTheUsersOnly()
{
    SingleInstance running(m_folder->path(), instanceName);
    QVERIFY(running.claim());
    const QFileInfo socket(running.socketPath());
    QVERIFY(socket.exists());
    QCOMPARE(socket.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    QCoreApplication app(argc, argv);
    const QByteArray mode = qgetenv("PORTHIVE_INSTANCE_CHILD");
    if (!mode.isEmpty())
        return childMain(mode);
    TestSingleInstance test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
