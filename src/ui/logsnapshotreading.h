#pragma once

#include "control/serverlogsession.h"

#include <QCoroTask>

#include <memory>

class ServerLogService;

// Reads the cleaned tail of one launch session. The log viewer polls through it; tests hand it a fake.
class LogSnapshotReading
{
public:
    virtual ~LogSnapshotReading() = default;
    // Resumes on the caller's thread with the snapshot, or throws what the read failed with.
    virtual QCoro::Task<ServerLogSnapshot> snapshot(const ServerLogSession& session) = 0;
};

// Reads through a log service, on its readers, beside its other work.
class ServiceLogReader final : public LogSnapshotReading
{
public:
    explicit ServiceLogReader(std::shared_ptr<ServerLogService> logs);

    QCoro::Task<ServerLogSnapshot> snapshot(const ServerLogSession& session) override;

private:
    const std::shared_ptr<ServerLogService> m_logs;
};
