// Runs whole detection scans, probes included, one after another on a machine the bench loads itself: 20 node
// development servers, 1000 idle processes and 5000 established loopback connections (10,000 sockets) held by a
// process of its own. Prints the resident memory after a warm-up and as the scans go on: a scan keeps nothing that
// grows with the number of scans, so the figure after the warm-up and the one at the end stay within 2 MB.
//
//   bench_soak [scans]

#include "benchmachine.h"
#include "discovery/commandrunner.h"
#include "discovery/connectionsnapshotservice.h"
#include "discovery/listenersnapshotservice.h"
#include "discovery/localserverdetector.h"
#include "discovery/processsnapshotservice.h"
#include "discovery/serverprobeservice.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int serverCount = 20;
constexpr int idleProcessCount = 1000;
constexpr int connectionCount = 5000;
constexpr int warmUpScans = 100;
constexpr int reportEvery = 200;
constexpr double allowedGrowthMb = 2;

// This process's resident set, in MB.
double residentMb()
{
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int scans = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 1000;
    BenchMachine::raiseDescriptorLimit();
    QTemporaryDir root;
    const auto servers = BenchMachine::startDevServers(root.path(), serverCount);
    if (servers.empty())
        return 1;
    BenchMachine::IdleProcesses idle;
    if (!idle.start(idleProcessCount)) {
        std::fprintf(stderr, "could not start the idle processes\n");
        return 1;
    }
    BenchMachine::DaemonConnections connections;
    if (!connections.start(connectionCount)) {
        std::fprintf(stderr, "could not open the connections: %s\n", std::strerror(errno));
        return 1;
    }

    CommandRunner runner;
    ListenerSnapshotService listenerService(&runner);
    ProcessSnapshotService processService(&runner);
    ConnectionSnapshotService connectionService(&runner);
    ServerProbeService probe(ServerProbeService::standardTimeout, ServerProbeService::standardByteLimit);
    LocalServerDetector detector(&listenerService, &processService, &connectionService, &probe);

    std::printf("%d scans: %d node development servers, +%d idle processes, +%d established loopback "
                "connections of the bench's own\n",
                scans, serverCount, idleProcessCount, connectionCount);
    std::printf("  RSS before any scan: %.1f MB\n", residentMb());
    for (int i = 0; i < warmUpScans; ++i)
        QCoro::waitFor(BenchMachine::scanOnce(&detector));
    const double warm = residentMb();
    std::printf("  RSS after %d warm-up scans: %.1f MB\n", warmUpScans, warm);
    std::fflush(stdout);

    QElapsedTimer timer;
    timer.start();
    qsizetype found = 0;
    for (int i = 1; i <= scans; ++i) {
        found = QCoro::waitFor(BenchMachine::scanOnce(&detector));
        if (found < 0)
            return 1;
        if (i % reportEvery == 0 && i != scans) {
            std::printf("  RSS after %d scans: %.1f MB\n", i, residentMb());
            std::fflush(stdout);
        }
    }
    const double end = residentMb();
    std::printf("  RSS after %d scans: %.1f MB (%lld servers, %.2f ms a scan)\n", scans, end,
                static_cast<long long>(found), double(timer.elapsed()) / scans);
    const bool flat = end - warm <= allowedGrowthMb && warm - end <= allowedGrowthMb;
    std::printf("  after warm-up to end: %+.1f MB, %s\n", end - warm, flat ? "within 2 MB" : "NOT within 2 MB");
    return flat ? 0 : 1;
}
