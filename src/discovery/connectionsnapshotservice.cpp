#include "discovery/connectionsnapshotservice.h"

#include "base/asyncwork.h"
#include "discovery/commandrunner.h"
#include "discovery/detectionsocketscan.h"
#include "platform/listings/procfilesystem.h"
#include "platform/listings/serversocketscan.h"
#include "platform/listings/systemtools.h"

#include <QPointer>

using namespace Qt::StringLiterals;

ConnectionSnapshotService::ConnectionSnapshotService(CommandRunner* runner, SnapshotSource source, QObject* parent)
    : QObject(parent)
    , m_runner(runner)
    , m_source(source)
{
    m_pool.setMaxThreadCount(1);
}

ConnectionSnapshotService::~ConnectionSnapshotService() = default;

QCoro::Task<QList<ConnectionRow>> ConnectionSnapshotService::connections()
{
    return listConnections();
}

QStringList ConnectionSnapshotService::connectionListArguments()
{
    return {u"-nP"_s, u"-iTCP"_s, u"-FpcfnT"_s};
}

QList<ConnectionRow> ConnectionSnapshotService::parseLsofOutput(const QString& text)
{
    QList<ConnectionRow> rows;
    std::optional<qint32> pid;
    QString command;
    std::optional<QString> endpoint;
    std::optional<QString> state;
    const auto emitRow = [&] {
        rows.append(ConnectionRow{*pid, command, *endpoint, state});
    };

    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QChar field = line.front();
        const QString value = line.mid(1);
        if (field == u'p') {
            if (pid && endpoint) {
                emitRow();
                endpoint.reset();
                state.reset();
            }
            pid = parseDecimal32(value);
            command.clear();
        } else if (field == u'c') {
            command = value;
        } else if (field == u'f') {
            if (pid) {
                if (endpoint) {
                    emitRow();
                    state.reset();
                }
                endpoint.reset();
            }
        } else if (field == u'n') {
            if (pid && endpoint) {
                emitRow();
                state.reset();
            }
            endpoint = value;
        } else if (field == u'T') {
            if (value.startsWith(u"ST="_s))
                state = value.mid(3);
        }
    }
    if (pid && endpoint)
        emitRow();
    return rows;
}

QCoro::Task<QList<ConnectionRow>> ConnectionSnapshotService::listConnections()
{
    if (m_source == SnapshotSource::ProcFileSystem) {
        auto read = AsyncWork::runOn(&m_pool, &ProcFileSystem::connections);
        co_return co_await read;
    }
    if (m_source == SnapshotSource::SocketDiagnostics) {
        // Joins the other part of the scan asked for together with this one, so both share one listing.
        auto read = AsyncWork::runOn(detectionSocketScan().listingThread(),
                                     [batch = detectionSocketScan().join(ServerSocketScan::Part::Connections)] {
                                         return detectionSocketScan().connections(batch);
                                     });
        co_return co_await read;
    }

    Q_ASSERT(m_runner);
    QPointer<ConnectionSnapshotService> self(this);
    QString output;
    try {
        auto run = m_runner->run(SystemTools::socketListTool(), connectionListArguments(), listingTimeout);
        output = (co_await run).standardOutput;
    } catch (const CommandRunnerError& error) {
        // lsof exits 1 without a word when no TCP socket is open at all: that is an empty listing.
        const bool nothingOpen = error.kind() == CommandRunnerError::Kind::Failed && error.exitStatus() == 1 &&
                                 error.standardOutput().isEmpty() && error.standardError().isEmpty();
        if (!nothingOpen)
            throw;
    }
    if (!self || output.isEmpty())
        co_return {};
    auto parse = AsyncWork::runOn(&m_pool, [output] { return parseLsofOutput(output); });
    co_return co_await parse;
}
