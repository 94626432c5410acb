#include "base/apperror.h"
#include "platform/launching/childprocess.h"
#include "platform/launching/processsignals.h"
#include "support/childguard.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ChildProcess::SizeProblem)

namespace {

constexpr int exitTimeout = 30000;

qsizetype entriesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
}

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
    void sizeProblemIsTheKernels_data();
    void sizeProblemIsTheKernels();
    void reapedWhicheverThreadStartsIt_data();
    void reapedWhicheverThreadStartsIt();
    void watchedWithoutAThreadEach();

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

void TestChildProcess::sizeProblemIsTheKernels_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<ChildProcess::SizeProblem>("problem");

    // Each string counts with its terminating NUL.
    const qsizetype longest = ChildProcess::stringLimit() - 1;
    const QString longestEntry = u"X="_s + QString(longest - 2, u'e');
    QTest::newRow("the longest argument")
        << QStringList{QString(longest, u'a')} << QStringList{} << ChildProcess::SizeProblem::None;
    QTest::newRow("an argument one byte longer")
        << QStringList{QString(longest + 1, u'a')} << QStringList{} << ChildProcess::SizeProblem::StringTooLong;
    QTest::newRow("the longest environment entry")
        << QStringList{} << QStringList{longestEntry} << ChildProcess::SizeProblem::None;
    QTest::newRow("an environment entry one byte longer")
        << QStringList{} << QStringList{longestEntry + u'e'} << ChildProcess::SizeProblem::StringTooLong;
    // Bytes, not characters: a two-byte character counts twice.
    QTest::newRow("the longest argument in bytes") << QStringList{QString(longest / 2 + 1, QChar(0xfc))}
                                                   << QStringList{} << ChildProcess::SizeProblem::StringTooLong;

    const qsizetype piece = longest / 2;
    const qsizetype total = ChildProcess::totalLimit();
    QTest::newRow("all of them together, well within the room")
        << QStringList(total / 2 / piece, QString(piece, u'a')) << QStringList{u"Y=1"_s}
        << ChildProcess::SizeProblem::None;
    QTest::newRow("all of them together, past the room")
        << QStringList(total / piece + 2, QString(piece, u'a')) << QStringList{} << ChildProcess::SizeProblem::TooLarge;
    QTest::newRow("arguments and environment together, past the room")
        << QStringList(total / 2 / piece + 1, QString(piece, u'a'))
        << QStringList(total / 2 / piece + 1, u"Z="_s + QString(piece, u'z')) << ChildProcess::SizeProblem::TooLarge;
}

// What the check says is what the kernel does: where it sees a problem the real start fails with E2BIG, and
// where it sees none the program runs.
void TestChildProcess::sizeProblemIsTheKernels()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(ChildProcess::SizeProblem, problem);
    const int fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    ChildProcess::Options options{u"/bin/true"_s, arguments, QDir::tempPath(), fd};
    options.environment = environment;
    QCOMPARE(ChildProcess::sizeProblem(options), problem);
    try {
        const std::shared_ptr<ChildProcess> child = ChildProcess::start(options);
        ChildGuard::track(child->pid());
        QTRY_VERIFY_WITH_TIMEOUT(!child->isRunning(), exitTimeout);
        QCOMPARE(problem, ChildProcess::SizeProblem::None);
        QCOMPARE(child->terminationStatus(), std::optional(0));
    } catch (const SystemError& failure) {
        QVERIFY2(problem != ChildProcess::SizeProblem::None, qPrintable(failure.description()));
        QCOMPARE(failure.code(), E2BIG);
    }
}

void TestChildProcess::reapedWhicheverThreadStartsIt_data()
{
    QTest::addColumn<bool>("elsewhere");
    // No descriptor left for a pidfd: a thread of its own waits for the child instead.
    QTest::addColumn<bool>("noDescriptors");
    QTest::newRow("this thread") << false << false;
    // As a pool's thread starts servers: one without an event loop.
    QTest::newRow("a thread without an event loop") << true << false;
    QTest::newRow("no pidfd to be had") << false << true;
}

void TestChildProcess::reapedWhicheverThreadStartsIt()
{
    QFETCH(bool, elsewhere);
    QFETCH(bool, noDescriptors);
    const int fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    const ChildProcess::Options options{u"/bin/sh"_s, {u"-c"_s, u"exit 3"_s}, QDir::tempPath(), fd};
    rlimit limit{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const auto restoreLimit = qScopeGuard([limit] { ::setrlimit(RLIMIT_NOFILE, &limit); });
    if (noDescriptors) {
        QLoggingCategory::setFilterRules(u"porthive.launching.debug=true"_s);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(u"^no pidfd for child .*: a thread waits for it$"_s));
        // The lowest free number becomes the limit, so no descriptor can be opened.
        const int lowestFree = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        QVERIFY(lowestFree >= 0);
        ::close(lowestFree);
        rlimit tight = limit;
        tight.rlim_cur = rlim_t(lowestFree);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    }
    std::shared_ptr<ChildProcess> child;
    if (elsewhere)
        std::thread([&] { child = ChildProcess::start(options); }).join();
    else
        child = ChildProcess::start(options);
    ::setrlimit(RLIMIT_NOFILE, &limit);
    QLoggingCategory::setFilterRules({});
    ChildGuard::track(child->pid());
    QTRY_VERIFY_WITH_TIMEOUT(!child->isRunning(), exitTimeout);
    QCOMPARE(child->terminationStatus(), std::optional(3));
    QCOMPARE(ProcessSignals::send(child->pid(), 0), ESRCH);
}

// Servers and their log writers run for hours: each is watched without a thread of its own, and nothing of the
// watch is left open once it is reaped.
void TestChildProcess::watchedWithoutAThreadEach()
{
    const QString tasks = u"/proc/self/task"_s;
    const QString descriptors = u"/proc/self/fd"_s;
    if (!QDir(tasks).exists())
        QSKIP("no /proc/self/task to count the threads in");
    const qsizetype threadsBefore = entriesIn(tasks);
    const qsizetype descriptorsBefore = entriesIn(descriptors);

    constexpr int children = 8;
    QList<std::shared_ptr<ChildProcess>> running;
    for (int i = 0; i < children; ++i)
        running.append(start({u"-c"_s, u"exec sleep 120"_s}));
    const qsizetype threadsWhileRunning = entriesIn(tasks);
    QVERIFY2(
        threadsWhileRunning < threadsBefore + children,
        qPrintable(
            u"%1 threads before, %2 with %3 children"_s.arg(threadsBefore).arg(threadsWhileRunning).arg(children)));

    for (const auto& child : std::as_const(running))
        QCOMPARE(ProcessSignals::send(child->pid(), SIGKILL), 0);
    for (const auto& child : std::as_const(running)) {
        QTRY_VERIFY_WITH_TIMEOUT(!child->isRunning(), exitTimeout);
        QCOMPARE(child->terminationStatus(), std::optional<int>(SIGKILL));
    }
    QTRY_COMPARE(entriesIn(descriptors), descriptorsBefore);
}

PORTHIVE_TEST_MAIN(TestChildProcess)
#include "tst_childprocess.moc"
