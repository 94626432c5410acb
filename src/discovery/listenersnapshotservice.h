#pragma once

#include "discovery/connectionsnapshotservice.h"

#include <QObject>

// The listening TCP sockets, derived from the socket listing by `listenerRows`.
class ListenerSnapshotService : public QObject
{
    Q_OBJECT

public:
    // `runner` is used only with SnapshotSource::SystemTools and must outlive the service.
    explicit ListenerSnapshotService(CommandRunner* runner, SnapshotSource source = SnapshotPlatform::defaultSource(),
                                     QObject* parent = nullptr);
    ~ListenerSnapshotService() override;

    // Throws CommandRunnerError when the socket listing fails.
    virtual QCoro::Task<QList<ListenerRow>> listeners();

private:
    QCoro::Task<QList<ListenerRow>> listListeners();

    ConnectionSnapshotService m_connections;
};
