#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

// One captured launch: the private log file a launched command writes.
struct ServerLogSession
{
    QUuid id;
    QString projectPath;
    QUrl fileURL;
    QDateTime startedAt;

    friend bool operator==(const ServerLogSession&, const ServerLogSession&) = default;
};

// What the log viewer shows.
struct LogSelection
{
    ServerLogSession session;
    QString displayTitle;
    std::optional<qint64> port;

    QUuid id() const { return session.id; }

    friend bool operator==(const LogSelection&, const LogSelection&) = default;
};

// The cleaned tail of a session's log.
struct ServerLogSnapshot
{
    QString text;
    QString preview;
    bool isTruncated = false;

    friend bool operator==(const ServerLogSnapshot&, const ServerLogSnapshot&) = default;
};

Q_DECLARE_METATYPE(ServerLogSession)
Q_DECLARE_METATYPE(ServerLogSnapshot)
