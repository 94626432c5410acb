#include "platform/launching/childprocess.h"

#include "base/apperror.h"
#include "platform/platformlog.h"
#include "platform/system/filedescriptor.h"
#include "platform/system/pidfd.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace Qt::StringLiterals;

struct ChildProcess::State
{
    pid_t pid = -1;
    std::atomic<bool> finished = false;
    std::atomic<int> status = -1;
};

namespace {

// posix_spawn's structures, released on every path.
struct SpawnSetup
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;

    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

void check(int result, const QString& context)
{
    if (result != 0)
        throw SystemError(result, context);
}

// Reaps the child, waiting for it unless `options` says WNOHANG; false while it still runs.
bool reap(ChildProcess::State& state, int options)
{
    int status = 0;
    pid_t result = -1;
    do {
        result = ::waitpid(state.pid, &status, options);
    } while (result < 0 && errno == EINTR);
    if (result == 0)
        return false;
    if (result == state.pid) {
        if (WIFEXITED(status))
            state.status = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            state.status = WTERMSIG(status);
    }
    state.finished = true;
    return true;
}

// Waits for the child in a thread of its own, so it is reaped the moment it exits whatever the rest of
// the program is doing.
void watchInThread(std::shared_ptr<ChildProcess::State> state)
{
    std::thread([state = std::move(state)] { reap(*state, 0); }).detach();
}

#if defined(Q_OS_LINUX)
// Whether watches may still go to the application's thread: the application's destructor closes it before the
// application goes, so a watch started on another thread meanwhile never posts to a destroyed object.
struct ApplicationWatch
{
    std::mutex mutex;
    bool open = false;
};

ApplicationWatch& applicationWatch()
{
    static ApplicationWatch watch;
    return watch;
}

void closeApplicationWatch()
{
    ApplicationWatch& watch = applicationWatch();
    const std::lock_guard lock(watch.mutex);
    watch.open = false;
}

// Watches the child through a pidfd, which turns readable once it has exited, on the application's thread: its
// event loop reaps it then, and no thread waits for it. False where there is no pidfd or no application.
bool watchByDescriptor(const std::shared_ptr<ChildProcess::State>& state)
{
    ApplicationWatch& watch = applicationWatch();
    const std::lock_guard lock(watch.mutex);
    QCoreApplication* application = QCoreApplication::instance();
    if (application && !watch.open && !QCoreApplication::closingDown()) {
        qAddPostRoutine(closeApplicationWatch);
        watch.open = true;
    }
    if (!application || !watch.open) {
        qCDebug(lcLaunching) << "no application to watch child" << state->pid << "by a pidfd: a thread waits for it";
        return false;
    }
    // The id stays the child's until it is reaped, which only this watch does.
    const int fd = pidfdOpen(state->pid);
    if (fd < 0) {
        qCDebug(lcLaunching) << "no pidfd for child" << state->pid << qt_error_string(errno)
                             << ": a thread waits for it";
        return false;
    }
    auto descriptor = std::make_shared<FileDescriptor>(fd);
    // Started from a pool's thread, the notifier still goes to the application's thread, which runs an event loop.
    QMetaObject::invokeMethod(application, [application, state, descriptor] {
        auto* notifier = new QSocketNotifier(descriptor->get(), QSocketNotifier::Read, application);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, state, descriptor] {
            if (!reap(*state, WNOHANG))
                return;
            // Off before the descriptor closes.
            notifier->setEnabled(false);
            descriptor->reset();
            notifier->deleteLater();
        });
    });
    return true;
}
#endif

void watch(const std::shared_ptr<ChildProcess::State>& state)
{
#if defined(Q_OS_LINUX)
    if (watchByDescriptor(state))
        return;
#endif
    watchInThread(state);
}

// The program's name, then its arguments, as exec takes them.
QList<QByteArray> argumentsOf(const ChildProcess::Options& options)
{
    QList<QByteArray> arguments{QFile::encodeName(options.program)};
    for (const QString& argument : options.arguments)
        arguments.append(argument.toLocal8Bit());
    return arguments;
}

QList<QByteArray> givenEntriesOf(const ChildProcess::Options& options)
{
    QList<QByteArray> entries;
    for (const QString& entry : options.environment)
        entries.append(entry.toLocal8Bit());
    return entries;
}

// This program's environment, each given entry in place of one of the same name; the given entries must outlive it.
std::vector<char*> environmentWith(QList<QByteArray>& entries)
{
    std::vector<char*> envp;
    for (char** entry = environ; *entry; ++entry) {
        const QByteArrayView own(*entry);
        const qsizetype equals = own.indexOf('=');
        const bool replaced = std::any_of(entries.cbegin(), entries.cend(), [&](const QByteArray& given) {
            return equals >= 0 && given.size() > equals && given.at(equals) == '=' &&
                   given.startsWith(own.first(equals));
        });
        if (!replaced)
            envp.push_back(*entry);
    }
    for (QByteArray& entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    return envp;
}

} // namespace

qsizetype ChildProcess::stringLimit()
{
#if defined(Q_OS_LINUX)
    // MAX_ARG_STRLEN: 32 pages.
    return 32 * qsizetype(::sysconf(_SC_PAGESIZE));
#else
    return totalLimit();
#endif
}

qsizetype ChildProcess::totalLimit()
{
    const long argMax = ::sysconf(_SC_ARG_MAX);
    const qsizetype reported = argMax > 0 ? qsizetype(argMax) : qsizetype(128 * 1024);
#if defined(Q_OS_LINUX)
    // A quarter of the stack limit, as sysconf reports it; but never more than three quarters of the kernel's own
    // 8 MiB stack default, however large the stack limit (sysconf reports no such cap for an unlimited one).
    return std::min<qsizetype>(reported, 6 * 1024 * 1024);
#else
    return reported;
#endif
}

ChildProcess::SizeProblem ChildProcess::sizeProblem(const Options& options)
{
    const QList<QByteArray> arguments = argumentsOf(options);
    QList<QByteArray> given = givenEntriesOf(options);
    const std::vector<char*> envp = environmentWith(given);
    const qsizetype longest = stringLimit();
    // The kernel copies the program's path as well as the arguments.
    qsizetype total = arguments.first().size() + 1;
    qsizetype strings = 0;
    const auto count = [&](qsizetype length) {
        ++strings;
        total += length + 1;
        return length + 1 <= longest;
    };
    bool fits = true;
    for (const QByteArray& argument : arguments)
        fits = count(argument.size()) && fits;
    for (const char* const entry : envp) {
        if (entry)
            fits = count(qsizetype(std::strlen(entry))) && fits;
    }
    if (!fits)
        return SizeProblem::StringTooLong;
    total += strings * qsizetype(sizeof(char*));
    return total <= totalLimit() ? SizeProblem::None : SizeProblem::TooLarge;
}

ChildProcess::ChildProcess(std::shared_ptr<State> state)
    : m_state(std::move(state))
{}

std::shared_ptr<ChildProcess> ChildProcess::start(const Options& options)
{
    const QByteArray program = QFile::encodeName(options.program);
    const QByteArray folder = QFile::encodeName(options.workingDirectory);
    QList<QByteArray> arguments = argumentsOf(options);
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // The given descriptors must not sit where the standard streams go.
    FileDescriptor outputCopy;
    FileDescriptor inputCopy;
    const auto clearOfStandardStreams = [](int fd, FileDescriptor& copy) {
        if (fd < 0 || fd > STDERR_FILENO)
            return fd;
        copy.reset(::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
        if (!copy.isValid())
            throw SystemError(errno, u"fcntl"_s);
        return copy.get();
    };
    const int outputFd = clearOfStandardStreams(options.outputFd, outputCopy);
    const int inputFd = clearOfStandardStreams(options.inputFd, inputCopy);

    SpawnSetup setup;
    check(posix_spawn_file_actions_addchdir_np(&setup.actions, folder.constData()), u"chdir"_s);
    if (inputFd >= 0)
        check(posix_spawn_file_actions_adddup2(&setup.actions, inputFd, STDIN_FILENO), u"dup2"_s);
    else
        check(posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0), u"open"_s);
    check(posix_spawn_file_actions_adddup2(&setup.actions, outputFd, STDOUT_FILENO), u"dup2"_s);
    if (options.errorToNull)
        check(posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0), u"open"_s);
    else
        check(posix_spawn_file_actions_adddup2(&setup.actions, outputFd, STDERR_FILENO), u"dup2"_s);
#if !defined(Q_OS_MACOS)
    check(posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1), u"closefrom"_s);
#endif

    // Default dispositions and an empty mask, whatever this program ignores or blocks.
    sigset_t defaults;
    sigfillset(&defaults);
    sigdelset(&defaults, SIGKILL);
    sigdelset(&defaults, SIGSTOP);
    sigset_t noMask;
    sigemptyset(&noMask);
    check(posix_spawnattr_setsigdefault(&setup.attributes, &defaults), u"sigdefault"_s);
    check(posix_spawnattr_setsigmask(&setup.attributes, &noMask), u"sigmask"_s);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID;
#if defined(Q_OS_MACOS)
    // Closes every descriptor but the standard streams set up above.
    flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
#endif
    check(posix_spawnattr_setflags(&setup.attributes, flags), u"flags"_s);

    QList<QByteArray> entries = givenEntriesOf(options);
    std::vector<char*> envp = environmentWith(entries);

    pid_t pid = -1;
    check(posix_spawn(&pid, program.constData(), &setup.actions, &setup.attributes, argv.data(), envp.data()),
          u"posix_spawn"_s);

    auto state = std::make_shared<State>();
    state->pid = pid;
    watch(state);
    return std::make_shared<ChildProcess>(std::move(state));
}

qint32 ChildProcess::pid() const
{
    return static_cast<qint32>(m_state->pid);
}

bool ChildProcess::isRunning() const
{
    return !m_state->finished;
}

std::optional<int> ChildProcess::terminationStatus() const
{
    if (!m_state->finished)
        return std::nullopt;
    return m_state->status.load();
}
