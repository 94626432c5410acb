#pragma once

#include "base/snapshotrows.h"
#include "platform/listings/snapshotplatform.h"

#include <QCoroTask>
#include <QObject>
#include <QThreadPool>

#include <chrono>

class CommandRunner;

// Every TCP socket of the machine as rows. Parsing and /proc reading run on the service's own serialised
// executor, the kernel's listing on the shared scan's thread; the tool itself runs through the shared command
// runner.
class ConnectionSnapshotService : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds listingTimeout{3000};

    // `runner` is used only with SnapshotSource::SystemTools and must outlive the service.
    explicit ConnectionSnapshotService(CommandRunner* runner, SnapshotSource source = SnapshotPlatform::defaultSource(),
                                       QObject* parent = nullptr);
    ~ConnectionSnapshotService() override;

    SnapshotSource source() const { return m_source; }

    // Throws CommandRunnerError when the socket listing fails.
    virtual QCoro::Task<QList<ConnectionRow>> connections();

    static QStringList connectionListArguments();
    // lsof's "-FpcfnT" field output: one row per named socket, with its process's command and TCP state.
    static QList<ConnectionRow> parseLsofOutput(const QString& text);

private:
    QCoro::Task<QList<ConnectionRow>> listConnections();

    CommandRunner* m_runner;
    SnapshotSource m_source;
    QThreadPool m_pool;
};
