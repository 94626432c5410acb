#include "discovery/processsnapshotservice.h"

#include "base/asyncwork.h"
#include "discovery/commandrunner.h"
#include "discovery/detectionsocketscan.h"
#include "platform/listings/procfilesystem.h"
#include "platform/listings/serversocketscan.h"
#include "platform/listings/systemtools.h"

#include <QPointer>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QList<qint32> uniqueAscending(QList<qint32> pids)
{
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
    return pids;
}

} // namespace

ProcessSnapshotService::ProcessSnapshotService(CommandRunner* runner, SnapshotSource source, QObject* parent)
    : QObject(parent)
    , m_runner(runner)
    , m_source(source)
{
    m_pool.setMaxThreadCount(1);
}

ProcessSnapshotService::~ProcessSnapshotService() = default;

QCoro::Task<QList<ProcessRow>> ProcessSnapshotService::processes()
{
    return listProcesses();
}

QCoro::Task<WorkingDirectories> ProcessSnapshotService::workingDirectories(const QList<qint32>& pids)
{
    return lookUpWorkingDirectories(pids);
}

QStringList ProcessSnapshotService::processListArguments()
{
    return {u"axww"_s,  u"-o"_s, u"pid="_s,  u"-o"_s, u"ppid="_s,   u"-o"_s,
            u"stat="_s, u"-o"_s, u"comm="_s, u"-o"_s, u"command="_s};
}

QStringList ProcessSnapshotService::workingDirectoryArguments(const QList<qint32>& pids)
{
    QStringList ids;
    for (qint32 pid : uniqueAscending(pids))
        ids.append(QString::number(pid));
    return {u"-a"_s, u"-p"_s, ids.join(u','), u"-d"_s, u"cwd"_s, u"-Fpn"_s};
}

std::optional<ProcessRow> ProcessSnapshotService::parsePsLine(const QString& line)
{
    // Every Unicode line break counts as one: "." never crosses it and "$" may stand before a final one.
    static const QRegularExpression pattern(u"(*ANY)^\\s*(\\d+)\\s+(\\d+)\\s+(\\S+)\\s+(\\S+)\\s+(.+)$"_s);
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    const std::optional<qint32> pid = parseDecimal32(match.capturedView(1));
    const std::optional<qint32> parentPid = parseDecimal32(match.capturedView(2));
    if (!pid || !parentPid)
        return std::nullopt;
    return ProcessRow{*pid, *parentPid, match.captured(3), match.captured(4), match.captured(5)};
}

QList<ProcessRow> ProcessSnapshotService::parsePsOutput(const QString& text)
{
    QList<ProcessRow> rows;
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        if (std::optional<ProcessRow> row = parsePsLine(line))
            rows.append(std::move(*row));
    }
    return rows;
}

WorkingDirectories ProcessSnapshotService::keepExistingFolders(WorkingDirectories folders)
{
    folders.removeIf([](const std::pair<const qint32&, QString&>& entry) { return !isExistingFolder(entry.second); });
    return folders;
}

QCoro::Task<QList<ProcessRow>> ProcessSnapshotService::listProcesses()
{
    if (m_source == SnapshotSource::ProcFileSystem) {
        auto read = AsyncWork::runOn(&m_pool, &ProcFileSystem::processes);
        co_return co_await read;
    }
    if (m_source == SnapshotSource::SocketDiagnostics) {
        // Joins the other part of the scan asked for together with this one, so both share one listing.
        auto read = AsyncWork::runOn(detectionSocketScan().listingThread(),
                                     [batch = detectionSocketScan().join(ServerSocketScan::Part::Processes)] {
                                         return detectionSocketScan().processes(batch);
                                     });
        co_return co_await read;
    }

    Q_ASSERT(m_runner);
    QPointer<ProcessSnapshotService> self(this);
    auto run = m_runner->run(SystemTools::processListTool(), processListArguments(), listingTimeout);
    const CommandOutput output = co_await run;
    if (!self)
        co_return {};
    auto parse = AsyncWork::runOn(&m_pool, [text = output.standardOutput] { return parsePsOutput(text); });
    co_return co_await parse;
}

QCoro::Task<WorkingDirectories> ProcessSnapshotService::lookUpWorkingDirectories(QList<qint32> pids)
{
    pids = uniqueAscending(std::move(pids));
    if (pids.isEmpty())
        co_return {};

    if (m_source != SnapshotSource::SystemTools) {
        auto read =
            AsyncWork::runOn(&m_pool, [pids] { return keepExistingFolders(ProcFileSystem::workingDirectories(pids)); });
        co_return co_await read;
    }

    Q_ASSERT(m_runner);
    QPointer<ProcessSnapshotService> self(this);
    QString output;
    try {
        auto run =
            m_runner->run(SystemTools::socketListTool(), workingDirectoryArguments(pids), workingDirectoryTimeout);
        output = (co_await run).standardOutput;
    } catch (const CommandRunnerError& error) {
        // lsof exits 1 when one of the processes has gone in the meantime, yet lists the others.
        if (error.kind() == CommandRunnerError::Kind::Failed && error.exitStatus() == 1)
            output = error.standardOutput();
    } catch (const std::exception&) {
    }
    if (!self || output.isEmpty())
        co_return {};
    auto parse =
        AsyncWork::runOn(&m_pool, [output] { return keepExistingFolders(parseWorkingDirectoryOutput(output)); });
    co_return co_await parse;
}

WorkingDirectories parseWorkingDirectoryOutput(const QString& text)
{
    WorkingDirectories folders;
    std::optional<qint32> pid;
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringView value = QStringView(line).mid(1);
        if (line.startsWith(u'p'))
            pid = parseDecimal32(value);
        else if (line.startsWith(u'n') && pid && value.startsWith(u'/'))
            folders.insert(*pid, value.toString());
    }
    return folders;
}
