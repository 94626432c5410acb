// Times whole detection scans on this machine with 20 development servers of its own running:
//   1. the full scan, each of the 20 servers taking 0.7 s to answer its probe, through the standard probe
//      (0.75 s limit): the probes overlap, so the scan should take little more than one of them;
//   2. the same with one more server that answers with a header that never ends: its probe is cut off at the
//      deadline like any other, so the scan should take about as long as the first;
//   3. the scan without probes (a probe that answers at once), through the /proc reader and through ps and lsof.
// Other servers on the machine are scanned too; they only add to the listing.
//
//   bench_detector [rounds]

#include "benchmachine.h"
#include "discovery/commandrunner.h"
#include "discovery/connectionsnapshotservice.h"
#include "discovery/listenersnapshotservice.h"
#include "discovery/localserverdetector.h"
#include "discovery/processsnapshotservice.h"
#include "discovery/serverprobeservice.h"
#include "instantprobe.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr int serverCount = 20;
constexpr int answerDelayMs = 700;

// A node server in a folder of its own that answers every request after `answerDelayMs`.
QString slowServerScript()
{
    return u"const server = require('http').createServer((req, res) => setTimeout(() => { "_s
           u"res.writeHead(200, {'Content-Type': 'text/html'}); res.end('<title>Slow</title>'); }, "_s +
           QString::number(answerDelayMs) +
           u")); server.listen(0, '127.0.0.1', () => console.log(server.address().port));"_s;
}

// A node server that answers every request with a status line and then one header that never ends.
QString endlessHeaderScript()
{
    return u"const filler = Buffer.alloc(65536, 'a'); const server = require('net').createServer((socket) => { "_s
           u"socket.on('error', () => {}); socket.once('data', () => { socket.write('HTTP/1.1 200 OK\\r\\nX-Endless: '); "_s
           u"const pump = () => { while (!socket.destroyed && socket.write(filler)) {} }; "_s
           u"socket.on('drain', pump); pump(); }); }); "_s
           u"server.listen(0, '127.0.0.1', () => console.log(server.address().port));"_s;
}

QCoro::Task<std::optional<QList<LocalServer>>> scanOnce(LocalServerDetector* detector)
{
    try {
        QCoro::Task<QList<LocalServer>> scan = detector->detectServers();
        co_return co_await scan;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "scan failed: %s\n", error.what());
        co_return std::nullopt;
    }
}

struct Timing
{
    double medianMs = 0;
    double minMs = 0;
    double maxMs = 0;
    int ownServers = 0;
    int ownAnswered = 0;
    qsizetype allServers = 0;
};

Timing measure(SnapshotSource source, ServerProbeService* probe, const QSet<qint32>& ownPids, int rounds)
{
    CommandRunner runner;
    ListenerSnapshotService listeners(&runner, source);
    ProcessSnapshotService processes(&runner, source);
    ConnectionSnapshotService connections(&runner, source);
    LocalServerDetector detector(&listeners, &processes, &connections, probe);

    QCoro::waitFor(scanOnce(&detector)); // warm-up: threads, page cache, first connections
    QList<double> samples;
    Timing timing;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        const std::optional<QList<LocalServer>> servers = QCoro::waitFor(scanOnce(&detector));
        samples.append(double(timer.nsecsElapsed()) / 1e6);
        if (!servers)
            continue;
        timing.allServers = servers->size();
        timing.ownServers = 0;
        timing.ownAnswered = 0;
        for (const LocalServer& server : *servers) {
            if (!ownPids.contains(server.pid))
                continue;
            ++timing.ownServers;
            if (server.httpStatus)
                ++timing.ownAnswered;
        }
    }
    std::sort(samples.begin(), samples.end());
    timing.medianMs = samples.at(samples.size() / 2);
    timing.minMs = samples.first();
    timing.maxMs = samples.last();
    return timing;
}

void print(const char* label, const Timing& timing)
{
    std::printf("  %-34s median %8.2f ms  min %8.2f ms  max %8.2f ms  (%d/%d own servers answered, %lld listed)\n",
                label, timing.medianMs, timing.minMs, timing.maxMs, timing.ownAnswered, timing.ownServers,
                static_cast<long long>(timing.allServers));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 10;
    const QString node = QStandardPaths::findExecutable(u"node"_s);
    if (node.isEmpty()) {
        std::fprintf(stderr, "node is not installed\n");
        return 1;
    }

    QTemporaryDir root;
    std::vector<std::unique_ptr<BenchMachine::NodeProcess>> servers;
    QSet<qint32> ownPids;
    for (int i = 0; i < serverCount; ++i) {
        const QString folder = root.filePath(u"project-"_s + QString::number(i));
        if (!QDir().mkpath(folder))
            return 1;
        auto& server = servers.emplace_back(std::make_unique<BenchMachine::NodeProcess>());
        if (!server->start(node, folder, {u"-e"_s, slowServerScript()})) {
            std::fprintf(stderr, "a server did not start\n");
            return 1;
        }
        ownPids.insert(server->pid());
    }

    ServerProbeService standardProbe(ServerProbeService::standardTimeout, ServerProbeService::standardByteLimit);
    InstantProbe instantProbe;
    const Timing full = measure(SnapshotPlatform::defaultSource(), &standardProbe, ownPids, rounds);

    const QString hostileFolder = root.filePath(u"hostile"_s);
    BenchMachine::NodeProcess hostile;
    if (!QDir().mkpath(hostileFolder) || !hostile.start(node, hostileFolder, {u"-e"_s, endlessHeaderScript()})) {
        std::fprintf(stderr, "the endless-header server did not start\n");
        return 1;
    }
    QSet<qint32> withHostile = ownPids;
    withHostile.insert(hostile.pid());
    const Timing hostileScan = measure(SnapshotPlatform::defaultSource(), &standardProbe, withHostile, rounds);
    hostile.stop();
    const Timing proc = measure(SnapshotSource::ProcFileSystem, &instantProbe, ownPids, rounds);
    const Timing tools = measure(SnapshotSource::SystemTools, &instantProbe, ownPids, rounds);

    std::printf("detection scan, %d own servers, %d rounds\n", serverCount, rounds);
    std::printf("full scan, every own probe answering after %d ms (%d in sequence would take %d ms):\n", answerDelayMs,
                serverCount, serverCount * answerDelayMs);
    print("standard probe, default listings", full);
    std::printf("the same with one more server whose header never ends:\n");
    print("standard probe, default listings", hostileScan);
    std::printf("  with / without the endless header: %.2fx (median)\n", hostileScan.medianMs / full.medianMs);
    std::printf("scan without probes:\n");
    print("/proc reader", proc);
    print("ps + lsof", tools);
    std::printf("  ps + lsof / /proc: %.1fx (median)\n", tools.medianMs / proc.medianMs);
    return 0;
}
