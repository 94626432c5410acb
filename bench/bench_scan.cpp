// Compares the detection scan without probes through the three listings, at several machine sizes the bench makes
// itself on top of 20 node development servers of its own:
//   baseline; +1000 idle processes; +5000 established loopback connections; about 4000 TIME-WAIT sockets.
// For each size and listing: wall time (min / median / max), CPU time of the whole process and its tools, and the
// GUI thread's CPU time per scan; for the kernel listing also the polls that kept the descriptor walk, what its
// listing alone costs when it also kept the established connections, and what a full dump of the sockets costs.
// Then the
// cost of one remembered-projects save on the GUI thread, written there or in the background.
//
//   bench_scan [rounds]

#include "discovery/commandrunner.h"
#include "discovery/connectionsnapshotservice.h"
#include "discovery/devcommandcache.h"
#include "discovery/listenersnapshotservice.h"
#include "discovery/localserverdetector.h"
#include "discovery/processsnapshotservice.h"
#include "discovery/serverprobeservice.h"
#include "instantprobe.h"
#include "platform/serversocketscan.h"
#include "platform/socketdiagnostics.h"
#include "platform/userdefaults.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr int serverCount = 20;
constexpr int idleProcessCount = 1000;
constexpr int connectionCount = 5000;
constexpr int timeWaitCount = 4000;

double cpuMs(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// This process's CPU time and that of its children that have ended (ps and lsof), in milliseconds.
double processAndToolsCpuMs()
{
    rusage children{};
    ::getrusage(RUSAGE_CHILDREN, &children);
    const auto ms = [](const timeval& t) {
        return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
    };
    return cpuMs(CLOCK_PROCESS_CPUTIME_ID) + ms(children.ru_utime) + ms(children.ru_stime);
}

// A node development server in a project folder of its own.
class DevServer
{
public:
    ~DevServer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(pid_t(m_process.processId()), SIGKILL);
            m_process.waitForFinished(10000);
        }
    }

    bool start(const QString& node, const QString& folder)
    {
        const QByteArray script = "const server = require('http').createServer((req, res) => res.end('ok'));\n"
                                  "server.listen(0, '127.0.0.1', () => console.log(server.address().port));\n";
        QFile code(folder + u"/server.js"_s);
        QFile manifest(folder + u"/package.json"_s);
        if (!code.open(QIODevice::WriteOnly) || code.write(script) != script.size() ||
            !manifest.open(QIODevice::WriteOnly) || manifest.write(R"({"scripts":{"dev":"node server.js"}})") < 0)
            return false;
        code.close();
        manifest.close();
        m_process.setWorkingDirectory(folder);
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.start(node, {u"server.js"_s});
        if (!m_process.waitForStarted(30000))
            return false;
        const QDeadlineTimer deadline(30s);
        while (!m_process.canReadLine()) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        }
        return m_process.readLine().trimmed().toUShort() != 0;
    }

private:
    QProcess m_process;
};

// Idle processes that only sleep, killed and reaped by their own ids.
class IdleProcesses
{
public:
    ~IdleProcesses() { stop(); }

    bool start(int count)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (const int fd : {0, 1, 2})
            posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
        char sleep[] = "sleep";
        char duration[] = "3600";
        char* argv[] = {sleep, duration, nullptr};
        bool ok = true;
        for (int i = 0; i < count && ok; ++i) {
            pid_t pid = 0;
            ok = ::posix_spawn(&pid, "/bin/sleep", &actions, nullptr, argv, environ) == 0;
            if (ok)
                m_pids.push_back(pid);
        }
        posix_spawn_file_actions_destroy(&actions);
        return ok;
    }

    void stop()
    {
        for (const pid_t pid : m_pids)
            ::kill(pid, SIGKILL);
        for (const pid_t pid : m_pids)
            ::waitpid(pid, nullptr, 0);
        m_pids.clear();
    }

private:
    std::vector<pid_t> m_pids;
};

// Loopback TCP connections held open by this process, or closed at once so that their client sides wait in
// TIME-WAIT for a minute.
class LoopbackConnections
{
public:
    ~LoopbackConnections() { closeAll(); }

    bool open(int count, bool keep)
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener < 0)
            return false;
        m_fds.push_back(listener);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener, 128) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return false;
        for (int i = 0; i < count; ++i) {
            const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (client < 0 || ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
                return false;
            const int server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (server < 0)
                return false;
            if (keep) {
                m_fds.push_back(client);
                m_fds.push_back(server);
            } else {
                // The side that closes first waits in TIME-WAIT.
                ::close(client);
                ::close(server);
            }
        }
        return true;
    }

    void closeAll()
    {
        for (const int fd : m_fds)
            ::close(fd);
        m_fds.clear();
    }

private:
    std::vector<int> m_fds;
};

QCoro::Task<qsizetype> scanOnce(LocalServerDetector* detector)
{
    try {
        QCoro::Task<QList<LocalServer>> scan = detector->detectServers();
        co_return (co_await scan).size();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "scan failed: %s\n", error.what());
        co_return -1;
    }
}

struct Samples
{
    QList<double> values;

    void add(double value) { values.append(value); }
    double at(double fraction) const
    {
        QList<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        return sorted.isEmpty() ? 0 : sorted.at(qsizetype(fraction * double(sorted.size() - 1) + 0.5));
    }
    double median() const { return at(0.5); }
    double min() const { return at(0); }
    double max() const { return at(1); }
};

struct Measurement
{
    Samples wall;
    Samples cpu;
    Samples gui;
    // Kernel listing only: the CPU of polls that kept the descriptor walk.
    Samples keptWalkCpu;
    qsizetype servers = 0;
};

Measurement measure(SnapshotSource source, int rounds)
{
    CommandRunner runner;
    ListenerSnapshotService listeners(&runner, source);
    ProcessSnapshotService processes(&runner, source);
    ConnectionSnapshotService connections(&runner, source);
    InstantProbe probe;
    LocalServerDetector detector(&listeners, &processes, &connections, &probe);

    // Warm-up: threads, page cache, and for the kernel listing its first walk of this machine.
    for (int i = 0; i < 2; ++i)
        QCoro::waitFor(scanOnce(&detector));
    Measurement result;
    for (int i = 0; i < rounds; ++i) {
        const double cpuBefore = processAndToolsCpuMs();
        const double guiBefore = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        QElapsedTimer timer;
        timer.start();
        result.servers = QCoro::waitFor(scanOnce(&detector));
        result.wall.add(double(timer.nsecsElapsed()) / 1e6);
        const double cpu = processAndToolsCpuMs() - cpuBefore;
        result.cpu.add(cpu);
        result.gui.add(cpuMs(CLOCK_THREAD_CPUTIME_ID) - guiBefore);
        if (source == SnapshotSource::SocketDiagnostics && !ServerSocketScan::shared().lastReport().walkedDescriptors)
            result.keptWalkCpu.add(cpu);
    }
    return result;
}

// The kernel listing's share of an unchanged poll, on this thread: both parts of a scan's listing (the listeners'
// dump, the counts and lookups that keep the connections, the check of the kept walk, process details and command
// names); beside it, the full dump of listeners and connections that a changed poll makes.
struct ListingCost
{
    Samples dumps;
    Samples listings;
};

ListingCost measureKernelListing(int rounds)
{
    using Part = ServerSocketScan::Part;
    using SocketDiagnostics::stateBit;
    ServerSocketScan& scan = ServerSocketScan::shared();
    ListingCost cost;
    for (int i = 0; i < rounds + 1; ++i) {
        const double start = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        const auto sockets = SocketDiagnostics::tcpSockets(stateBit(SocketDiagnostics::listenState) |
                                                           stateBit(SocketDiagnostics::establishedState));
        const double dumped = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        const auto processes = scan.join(Part::Processes);
        const auto connections = scan.join(Part::Connections);
        const QList<ConnectionRow> rows = scan.connections(connections);
        const QList<ProcessRow> read = scan.processes(processes);
        const double listed = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        // Closes the batch.
        QCoreApplication::processEvents();
        if (i == 0 || !sockets || scan.lastReport().walkedDescriptors || !scan.lastReport().keptConnections)
            continue;
        cost.dumps.add(dumped - start);
        cost.listings.add(listed - dumped);
    }
    return cost;
}

qsizetype processCount()
{
    return QDir(u"/proc"_s).entryList({u"[0-9]*"_s}, QDir::Dirs).size();
}

// Lines of /proc/net/tcp{,6} in a TCP state (hex, as the kernel writes it).
qsizetype socketsInState(const char* state)
{
    qsizetype count = 0;
    for (const char* path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields[3] == state)
                ++count;
        }
    }
    return count;
}

void printSize(const char* name, int rounds)
{
    std::printf("\n%s: %lld processes, %lld established and %lld TIME-WAIT TCP sockets on the machine, %d rounds\n",
                name, static_cast<long long>(processCount()), static_cast<long long>(socketsInState("01")),
                static_cast<long long>(socketsInState("06")), rounds);
}

void printRow(const char* label, const Measurement& m)
{
    std::printf("  %-18s wall %7.2f ms (min %7.2f, max %7.2f)  CPU %7.2f ms  GUI thread %6.3f ms  %lld servers\n",
                label, m.wall.median(), m.wall.min(), m.wall.max(), m.cpu.median(), m.gui.median(),
                static_cast<long long>(m.servers));
}

void measureSize(const char* name, int rounds)
{
    const Measurement kernel = measure(SnapshotSource::SocketDiagnostics, rounds);
    const Measurement proc = measure(SnapshotSource::ProcFileSystem, rounds);
    const Measurement tools = measure(SnapshotSource::SystemTools, rounds);
    printSize(name, rounds);
    std::printf("  medians per scan without probes; GUI thread = CPU time of the thread that awaits the scan\n");
    printRow("kernel (new)", kernel);
    printRow("/proc (current)", proc);
    printRow("ps + lsof", tools);
    std::printf("  ps + lsof / new: %.1fx wall, %.1fx CPU;  /proc / new: %.1fx wall, %.1fx CPU\n",
                tools.wall.median() / kernel.wall.median(), tools.cpu.median() / kernel.cpu.median(),
                proc.wall.median() / kernel.wall.median(), proc.cpu.median() / kernel.cpu.median());
    const ListingCost listing = measureKernelListing(rounds);
    if (!listing.listings.values.isEmpty())
        std::printf("  new, its listing in an unchanged poll: both parts %.3f ms CPU (a full socket dump: %.3f ms)\n",
                    listing.listings.median(), listing.dumps.median());
    else
        std::printf("  new: no listing kept its connections and walk (more connections than it looks up, or the "
                    "machine's sockets changed between polls)\n");
    if (kernel.keptWalkCpu.values.isEmpty())
        std::printf("  new: no poll kept its descriptor walk (the machine's sockets changed between every poll)\n");
    else
        std::printf("  new, unchanged polls (walk kept): %lld of %d, CPU median %.3f ms (min %.3f, max %.3f)\n",
                    static_cast<long long>(kernel.keptWalkCpu.values.size()), rounds, kernel.keptWalkCpu.median(),
                    kernel.keptWalkCpu.min(), kernel.keptWalkCpu.max());
    std::fflush(stdout);
}

// The GUI thread's share of one remembered-projects save into a settings file: the old synchronous write against
// the background write, whose call returns once the work is handed over.
void measureSave(const QString& folder, int rounds)
{
    SettingsUserDefaults defaults(folder + u"/porthive.json"_s);
    QByteArray list = "[";
    for (int i = 0; i < 40; ++i) {
        list += (i ? "," : "") + QByteArray(R"({"projectPath":"/home/dev/project-)") + QByteArray::number(i) +
                R"(","launchCommand":"npm run dev","displayCommandLine":"npm run dev","runtimeKind":"vite",)"
                R"("lastSeenAt":795000000.5})";
    }
    list += "]";
    Samples onThread;
    Samples handedOver;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        defaults.setValue(u"rememberedProjects.v1"_s, list);
        onThread.add(double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        QCoro::Task<> write = defaults.persistValue(u"rememberedProjects.v1"_s, list);
        handedOver.add(double(timer.nsecsElapsed()) / 1e6);
        QCoro::waitFor(std::move(write));
    }
    std::printf("\nremembered-projects save (40 projects, %lld bytes), GUI thread wall time, %d rounds:\n",
                static_cast<long long>(list.size()), rounds);
    std::printf("  written and synced on the GUI thread   median %7.3f ms (min %7.3f, max %7.3f)\n", onThread.median(),
                onThread.min(), onThread.max());
    std::printf("  handed to the background writer       median %7.3f ms (min %7.3f, max %7.3f)\n", handedOver.median(),
                handedOver.min(), handedOver.max());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 15;
    const QString node = QStandardPaths::findExecutable(u"node"_s);
    if (node.isEmpty()) {
        std::fprintf(stderr, "node is not installed\n");
        return 1;
    }
    // Room for 5000 connections with both ends in this process.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    QTemporaryDir root;
    std::vector<std::unique_ptr<DevServer>> servers;
    for (int i = 0; i < serverCount; ++i) {
        const QString folder = root.filePath(u"project-"_s + QString::number(i));
        auto& server = servers.emplace_back(std::make_unique<DevServer>());
        if (!QDir().mkpath(folder) || !server->start(node, folder)) {
            std::fprintf(stderr, "a development server did not start\n");
            return 1;
        }
    }
    // A project's files were written long before its server is scanned; the scan reads the files of ones
    // written within a moment of a scan again.
    QThread::sleep(DevCommandCache::settleSeconds + 1);
    std::printf("detection scan without probes, %d node development servers of the bench's own\n", serverCount);

    measureSize("baseline", rounds);
    {
        IdleProcesses idle;
        if (!idle.start(idleProcessCount)) {
            std::fprintf(stderr, "could not start the idle processes\n");
            return 1;
        }
        measureSize("+1000 idle processes", rounds);
    }
    {
        LoopbackConnections connections;
        if (!connections.open(connectionCount, true)) {
            std::fprintf(stderr, "could not open the connections: %s\n", std::strerror(errno));
            return 1;
        }
        measureSize("+5000 established loopback connections", rounds);
    }
    {
        // TIME-WAIT lasts a minute: the three listings are measured well within it.
        LoopbackConnections closed;
        if (!closed.open(timeWaitCount, false)) {
            std::fprintf(stderr, "could not open the connections: %s\n", std::strerror(errno));
            return 1;
        }
        measureSize("+4000 TIME-WAIT sockets", rounds);
    }
    measureSave(root.path(), rounds);
    return 0;
}
