#pragma once

#include "control/serverlogsession.h"
#include "platform/launching/logfolder.h"
#include "platform/system/filedescriptor.h"

#include <QCoroTask>
#include <QHash>
#include <QString>
#include <QThreadPool>

class Clock;

// The private folder of captured launch output: one owner-only file per launch, retention by age and
// count before each new session, and cleaned tails for the log viewer and the row previews. The folder is
// worked on through a descriptor: when it, or one of the app's folders above it, is a symbolic link or somebody
// else's, no session starts (UnsafeFolderError) and nothing is changed or deleted there.
//
// Starting and discarding sessions and retention run one at a time on the service's own executor; snapshots run
// on readers of their own beside it, so a slow read never holds up a launch. None runs on the caller's thread;
// the coroutines resume there with the result or the error (SystemError for file-system failures).
class ServerLogService
{
public:
    static constexpr qint64 defaultTailByteLimit = 131072;
    static constexpr qsizetype previewCharacterLimit = 160;

    // `now` must outlive the service.
    explicit ServerLogService(QString rootDirectory, const Clock& now, qint64 tailByteLimit = defaultTailByteLimit);
    ~ServerLogService();
    ServerLogService(const ServerLogService&) = delete;
    ServerLogService& operator=(const ServerLogService&) = delete;

    // The platform's private log folder, worked out once per process.
    static QString defaultRootDirectory();

    QString rootDirectory() const { return m_rootDirectory; }
    qint64 tailByteLimit() const { return m_tailByteLimit; }

    // Creates an empty log file for a launch of the project and makes it the project's active file.
    // Fails only when the folder or the file cannot be created.
    QCoro::Task<ServerLogSession> startSession(const QString& projectPath);
    // Forgets the session as its project's active one and deletes its file.
    QCoro::Task<> discardSession(const ServerLogSession& session);
    QCoro::Task<ServerLogSnapshot> snapshot(const ServerLogSession& session);

    // The cleaned tail of the file and its preview line; reads at most `tailByteLimit` bytes. Only a regular file
    // is read: a named pipe, a device or a link at the path fails at once (NotRegularFileError, SystemError).
    // Any thread.
    static ServerLogSnapshot readSnapshot(const QString& filePath, qint64 tailByteLimit = defaultTailByteLimit);
    // Terminal output as plain text: escape sequences gone, line feeds only, no control characters.
    static QString sanitizeLogText(const QString& text);
    // The last non-blank line of cleaned text, redacted and shortened, or "No output yet".
    static QString previewLine(const QString& cleanText);
    // "<UUID in upper case>.log"
    static QString fileName(const QUuid& id);

private:
    QCoro::Task<ServerLogSession> startSessionTask(QString projectPath);
    QCoro::Task<> discardSessionTask(ServerLogSession session);
    QCoro::Task<ServerLogSnapshot> snapshotTask(ServerLogSession session);

    // Executor work.
    ServerLogSession startSessionNow(const QString& projectPath);
    void discardSessionNow(const ServerLogSession& session);
    // The folder, created when missing and owner-only, opened without following a link of ours.
    FileDescriptor prepareDirectory() const;
    void pruneOldLogs(int folder) const;

    const QString m_rootDirectory;
    // The root as the folder it lies in and the app's own folders below that: these are never followed as links
    // and must be the user's.
    PrivateFolderLocation m_location;
    const qint64 m_tailByteLimit;
    const Clock& m_now;
    // Project path to the cleaned path of the file it writes now; touched on the executor only.
    QHash<QString, QString> m_activeSessionPathByProjectPath;
    // Snapshots; they use no member.
    QThreadPool m_readers;
    // Last: its destructor waits for queued work that still uses the members above.
    QThreadPool m_executor;
};
