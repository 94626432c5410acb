#include "logsnapshotreading.h"

#include "control/serverlogservice.h"

namespace {

// Keeps the service alive until its read has ended, even when everyone else has let go of it.
QCoro::Task<ServerLogSnapshot> readThrough(std::shared_ptr<ServerLogService> logs, ServerLogSession session)
{
    auto read = logs->snapshot(session);
    co_return co_await read;
}

} // namespace

ServiceLogReader::ServiceLogReader(std::shared_ptr<ServerLogService> logs)
    : m_logs(std::move(logs))
{}

QCoro::Task<ServerLogSnapshot> ServiceLogReader::snapshot(const ServerLogSession& session)
{
    return readThrough(m_logs, session);
}
