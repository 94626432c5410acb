#pragma once

#include "discovery/commandrunner.h"
#include "discovery/connectionsnapshotservice.h"
#include "discovery/listenersnapshotservice.h"
#include "discovery/processsnapshotservice.h"
#include "discovery/serverprobeservice.h"

#include <QHash>

// Snapshot services and a probe that answer with fixed rows (or a fixed error) and count their calls, for the
// tests of what is built on them.

class FakeProcessSnapshotService : public ProcessSnapshotService
{
public:
    FakeProcessSnapshotService()
        : ProcessSnapshotService(nullptr, SnapshotSource::SystemTools)
    {}

    QList<ProcessRow> rows;
    WorkingDirectories folders;
    std::optional<CommandRunnerError> error;
    int processCalls = 0;
    QList<QList<qint32>> workingDirectoryRequests;

    QCoro::Task<QList<ProcessRow>> processes() override
    {
        ++processCalls;
        return answer(rows, error);
    }
    QCoro::Task<WorkingDirectories> workingDirectories(const QList<qint32>& pids) override
    {
        workingDirectoryRequests.append(pids);
        return answerFolders(folders);
    }

private:
    static QCoro::Task<QList<ProcessRow>> answer(QList<ProcessRow> rows, std::optional<CommandRunnerError> error)
    {
        if (error)
            throw *error;
        co_return rows;
    }
    static QCoro::Task<WorkingDirectories> answerFolders(WorkingDirectories folders) { co_return folders; }
};

class FakeConnectionSnapshotService : public ConnectionSnapshotService
{
public:
    FakeConnectionSnapshotService()
        : ConnectionSnapshotService(nullptr, SnapshotSource::SystemTools)
    {}

    QList<ConnectionRow> rows;
    std::optional<CommandRunnerError> error;
    int calls = 0;

    QCoro::Task<QList<ConnectionRow>> connections() override
    {
        ++calls;
        return answer(rows, error);
    }

private:
    static QCoro::Task<QList<ConnectionRow>> answer(QList<ConnectionRow> rows, std::optional<CommandRunnerError> error)
    {
        if (error)
            throw *error;
        co_return rows;
    }
};

class FakeListenerSnapshotService : public ListenerSnapshotService
{
public:
    FakeListenerSnapshotService()
        : ListenerSnapshotService(nullptr, SnapshotSource::SystemTools)
    {}

    QList<ListenerRow> rows;
    int calls = 0;

    QCoro::Task<QList<ListenerRow>> listeners() override
    {
        ++calls;
        return answer(rows);
    }

private:
    static QCoro::Task<QList<ListenerRow>> answer(QList<ListenerRow> rows) { co_return rows; }
};

// Answers each URL from a table (both fields absent for URLs not in it) and records the URLs asked for.
class FakeServerProbeService : public ServerProbeService
{
public:
    FakeServerProbeService()
        : ServerProbeService(standardTimeout, standardByteLimit)
    {}

    QHash<QUrl, ProbeResult> results;
    mutable QList<QUrl> probedUrls;

    QCoro::Task<ProbeResult> probe(const QUrl& url) const override
    {
        probedUrls.append(url);
        return answer(results.value(url));
    }

private:
    static QCoro::Task<ProbeResult> answer(ProbeResult result) { co_return result; }
};
