// Compares the detection scan without probes through the three listings, at several machine sizes the bench makes
// itself on top of 20 node development servers of its own:
//   baseline; +1000 idle processes; +5000 established loopback connections, held by a process of the bench's own
//   that no development tool started (as a database's are); about 4000 TIME-WAIT sockets.
// Each detector tells given variables apart from the user's login environment, as the application's does: read
// once, in its first warm-up scan; the one-time cost of that read is printed first.
// For each size and listing: wall time (min / median / max), CPU time of the whole process and its tools, and the
// GUI thread's CPU time per scan; for the kernel listing also the polls that kept the descriptor walk, what its
// listing alone costs when it also kept the established connections, and what a full dump of the sockets costs.
// Then the cost of one remembered-projects save on the GUI thread, written there or in the background.
//
//   bench_scan [rounds]

#include "benchmachine.h"
#include "discovery/commandrunner.h"
#include "discovery/connectionsnapshotservice.h"
#include "discovery/detectionsocketscan.h"
#include "discovery/listenersnapshotservice.h"
#include "discovery/localserverdetector.h"
#include "discovery/loginenvironment.h"
#include "discovery/processsnapshotservice.h"
#include "discovery/serverprobeservice.h"
#include "instantprobe.h"
#include "platform/listings/serversocketscan.h"
#include "platform/listings/socketdiagnostics.h"
#include "platform/storage/userdefaults.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

using BenchMachine::DaemonConnections;
using BenchMachine::IdleProcesses;
using BenchMachine::LoopbackConnections;
using BenchMachine::scanOnce;

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
    LocalServerDetector detector(&listeners, &processes, &connections, &probe, nullptr,
                                 std::make_shared<LoginShellEnvironment>());

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
        if (source == SnapshotSource::SocketDiagnostics && !detectionSocketScan().lastReport().walkedDescriptors)
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
    ServerSocketScan& scan = detectionSocketScan();
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
    BenchMachine::raiseDescriptorLimit();
    QTemporaryDir root;
    const std::vector<std::unique_ptr<BenchMachine::NodeProcess>> servers =
        BenchMachine::startDevServers(root.path(), serverCount);
    if (servers.empty())
        return 1;
    std::printf("detection scan without probes, %d node development servers of the bench's own\n", serverCount);
    {
        QElapsedTimer timer;
        timer.start();
        const bool read = LoginShellEnvironment().environment().has_value();
        std::printf("the user's login environment, read once: %.1f ms%s\n", double(timer.nsecsElapsed()) / 1e6,
                    read ? "" : " (could not be read)");
    }

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
        DaemonConnections connections;
        if (!connections.start(connectionCount)) {
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
