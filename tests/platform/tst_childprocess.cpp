#include "platform/childprocess.h"
#include "platform/processsignals.h"
#include "support/childguard.h"
#include "support/testhome.h"
#include "telemetry/apperror.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int exitTimeout = 30000;

} // namespace

class TestChildProcess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void exitStatus_data();
    void exitStatus();
    void signalsBlockedOrIgnoredHereStillReachTheChild();
    void cannotStart_data();
    void cannotStart();

private:
    std::shared_ptr<ChildProcess> start(const QStringList& arguments, const QString& folder = QDir::tempPath());

    std::unique_ptr<QTemporaryDir> m_scratch;
};

void TestChildProcess::initTestCase()
{
    ChildGuard::installTerminateHandler();
}

void TestChildProcess::cleanup()
{
    ChildGuard::killAll();
}

void TestChildProcess::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    QVERIFY(m_scratch->isValid());
}

std::shared_ptr<ChildProcess> TestChildProcess::start(const QStringList& arguments, const QString& folder)
{
    const int fd =
        ::open(QFile::encodeName(m_scratch->filePath(u"out"_s)).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    auto child = ChildProcess::start({u"/bin/sh"_s, arguments, folder, fd});
    ChildGuard::track(child->pid());
    return child;
}

void TestChildProcess::exitStatus_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    QTest::newRow("success") << u"exit 0"_s << 0;
    QTest::newRow("failure") << u"exit 3"_s << 3;
    QTest::newRow("ended by SIGTERM") << u"kill -TERM $$"_s << ProcessSignals::terminateSignal();
    QTest::newRow("ended by SIGKILL") << u"kill -KILL $$"_s << ProcessSignals::killSignal();
}

void TestChildProcess::exitStatus()
{
    QFETCH(QString, script);
    QFETCH(int, status);
    const auto child = start({u"-c"_s, script});
    QTRY_VERIFY_WITH_TIMEOUT(!child->isRunning(), exitTimeout);
    QCOMPARE(child->terminationStatus(), std::optional<int>(status));
    // Reaped: nothing of it is left for a signal to find.
    QCOMPARE(ProcessSignals::send(child->pid(), 0), ESRCH);
}

void TestChildProcess::signalsBlockedOrIgnoredHereStillReachTheChild()
{
    struct sigaction ignore
    {
    };
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous
    {
    };
    QCOMPARE(::sigaction(SIGTERM, &ignore, &previous), 0);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigset_t previousMask;
    QCOMPARE(::pthread_sigmask(SIG_BLOCK, &blocked, &previousMask), 0);
    const auto restore = qScopeGuard([&] {
        ::sigaction(SIGTERM, &previous, nullptr);
        ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    });

    for (const int signal : {SIGTERM, SIGINT}) {
        const auto child = start({u"-c"_s, u"exec sleep 120"_s});
        QVERIFY(child->isRunning());
        QCOMPARE(ProcessSignals::send(child->pid(), signal), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!child->isRunning(), exitTimeout);
        QCOMPARE(child->terminationStatus(), std::optional<int>(signal));
    }
}

void TestChildProcess::cannotStart_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("error");
    QTest::newRow("missing folder") << u"/bin/sh"_s << u"/nonexistent/folder"_s << ENOENT;
    QTest::newRow("folder is a file") << u"/bin/sh"_s << u"/bin/sh"_s << ENOTDIR;
    QTest::newRow("missing program") << u"/nonexistent/program"_s << QDir::tempPath() << ENOENT;
}

void TestChildProcess::cannotStart()
{
    QFETCH(QString, program);
    QFETCH(QString, folder);
    QFETCH(int, error);
    const int fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    try {
        ChildProcess::start({program, {}, folder, fd});
        QFAIL("the process started");
    } catch (const SystemError& failure) {
        QCOMPARE(failure.code(), error);
    }
}

PORTHIVE_TEST_MAIN(TestChildProcess)
#include "tst_childprocess.moc"
