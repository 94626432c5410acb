#include "discovery/listenersnapshotservice.h"

ListenerSnapshotService::ListenerSnapshotService(CommandRunner* runner, SnapshotSource source, QObject* parent)
    : QObject(parent)
    , m_connections(runner, source)
{}

ListenerSnapshotService::~ListenerSnapshotService() = default;

QCoro::Task<QList<ListenerRow>> ListenerSnapshotService::listeners()
{
    return listListeners();
}

QCoro::Task<QList<ListenerRow>> ListenerSnapshotService::listListeners()
{
    // Nothing of this object is touched after the wait, so it may be deleted meanwhile.
    auto connections = m_connections.connections();
    co_return listenerRows(co_await connections);
}
