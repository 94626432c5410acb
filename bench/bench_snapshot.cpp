// Times one process-and-socket snapshot (both listings at once, as a scan takes them) through the /proc reader
// and through ps and lsof, on this machine, and prints both and their ratio. It holds a few loopback listeners with
// a client each of its own, so both paths have sockets to report whatever else runs.
//
//   bench_snapshot [rounds]

#include "discovery/commandrunner.h"
#include "discovery/connectionsnapshotservice.h"
#include "discovery/processsnapshotservice.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct Snapshot
{
    qsizetype processes = 0;
    qsizetype connections = 0;
};

QCoro::Task<Snapshot> takeSnapshot(ProcessSnapshotService* processes, ConnectionSnapshotService* connections)
{
    QCoro::Task<QList<ProcessRow>> processRows = processes->processes();
    QCoro::Task<QList<ConnectionRow>> connectionRows = connections->connections();
    Snapshot snapshot;
    snapshot.processes = (co_await processRows).size();
    snapshot.connections = (co_await connectionRows).size();
    co_return snapshot;
}

struct Timing
{
    double medianMs = 0;
    double minMs = 0;
    Snapshot last;
};

Timing measure(SnapshotSource source, CommandRunner* runner, int rounds)
{
    ProcessSnapshotService processes(runner, source);
    ConnectionSnapshotService connections(runner, source);
    QCoro::waitFor(takeSnapshot(&processes, &connections)); // warm-up: thread start, page cache
    QList<double> samples;
    Timing timing;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        timing.last = QCoro::waitFor(takeSnapshot(&processes, &connections));
        samples.append(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(samples.begin(), samples.end());
    timing.medianMs = samples.at(samples.size() / 2);
    timing.minMs = samples.first();
    return timing;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 20;
    CommandRunner runner;

    constexpr int listenerCount = 8;
    std::vector<std::unique_ptr<QTcpServer>> listeners;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < listenerCount; ++i) {
        auto& server = listeners.emplace_back(std::make_unique<QTcpServer>());
        if (!server->listen(QHostAddress::LocalHost, 0))
            return 1;
        auto& client = clients.emplace_back(std::make_unique<QTcpSocket>());
        client->connectToHost(QHostAddress::LocalHost, server->serverPort());
        if (!client->waitForConnected(10000))
            return 1;
    }

    const Timing proc = measure(SnapshotSource::ProcFileSystem, &runner, rounds);
    const Timing tools = measure(SnapshotSource::SystemTools, &runner, rounds);

    std::printf("one snapshot (processes + TCP sockets), %d rounds\n", rounds);
    std::printf("  /proc reader  median %8.2f ms  min %8.2f ms  (%lld processes, %lld sockets)\n", proc.medianMs,
                proc.minMs, static_cast<long long>(proc.last.processes), static_cast<long long>(proc.last.connections));
    std::printf("  ps + lsof     median %8.2f ms  min %8.2f ms  (%lld processes, %lld sockets)\n", tools.medianMs,
                tools.minMs, static_cast<long long>(tools.last.processes),
                static_cast<long long>(tools.last.connections));
    std::printf("  ps + lsof / /proc: %.1fx (median)\n", tools.medianMs / proc.medianMs);
    return 0;
}
