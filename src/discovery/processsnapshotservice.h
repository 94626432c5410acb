#pragma once

#include "base/snapshotrows.h"
#include "platform/listings/snapshotplatform.h"

#include <QCoroTask>
#include <QObject>
#include <QThreadPool>

#include <chrono>

class CommandRunner;

// The process table as rows, and the working folders of chosen processes. Parsing and /proc reading run on the
// service's own serialised executor, the kernel's listing on the shared scan's thread; the tools themselves run
// through the shared command runner.
class ProcessSnapshotService : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds listingTimeout{3000};
    static constexpr std::chrono::milliseconds workingDirectoryTimeout{1000};

    // `runner` is used only with SnapshotSource::SystemTools and must outlive the service.
    explicit ProcessSnapshotService(CommandRunner* runner, SnapshotSource source = SnapshotPlatform::defaultSource(),
                                    QObject* parent = nullptr);
    ~ProcessSnapshotService() override;

    SnapshotSource source() const { return m_source; }

    // Throws CommandRunnerError when the process listing fails.
    virtual QCoro::Task<QList<ProcessRow>> processes();
    // Never fails: any failure gives no folders. Runs nothing for an empty list.
    virtual QCoro::Task<WorkingDirectories> workingDirectories(const QList<qint32>& pids);

    static QStringList processListArguments();
    // The ids unique and ascending, joined with ",".
    static QStringList workingDirectoryArguments(const QList<qint32>& pids);
    static QList<ProcessRow> parsePsOutput(const QString& text);
    static std::optional<ProcessRow> parsePsLine(const QString& line);
    // Drops folders that are gone: " (deleted)" ones, lsof's "(readlink: ...)" notes and paths that are no
    // folder (any more). Touches the file system.
    static WorkingDirectories keepExistingFolders(WorkingDirectories folders);

private:
    QCoro::Task<QList<ProcessRow>> listProcesses();
    QCoro::Task<WorkingDirectories> lookUpWorkingDirectories(QList<qint32> pids);

    CommandRunner* m_runner;
    SnapshotSource m_source;
    QThreadPool m_pool;
};

// lsof's "-Fpn" output for "-d cwd" as a map; "n" values that are not absolute paths are ignored.
WorkingDirectories parseWorkingDirectoryOutput(const QString& text);
