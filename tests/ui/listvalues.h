#pragma once

#include "discovery/localserver.h"
#include "discovery/rememberedproject.h"
#include "menucontent.h"

#include <QTest>

// Values for the list's tests: servers and saved projects, and a fixed moment on a Wednesday at noon.
namespace ListValues {

inline const QDateTime now(QDate(2026, 3, 4), QTime(12, 0));

inline LocalServer server(qint32 pid, qint64 port, RuntimeKind kind = RuntimeKind::Node,
                          std::optional<QString> path = std::nullopt)
{
    LocalServer s;
    s.pid = pid;
    s.managedProcessIDs = {pid};
    s.port = port;
    s.url = QUrl(QStringLiteral("http://localhost:%1").arg(port));
    s.runtimeKind = kind;
    s.rawCommandLine = QStringLiteral("npm run dev");
    s.displayCommandLine = s.rawCommandLine;
    s.projectPath = std::move(path);
    s.processExecutable = QStringLiteral("/usr/bin/node");
    s.lastSeenAt = now;
    return s;
}

inline RememberedProject project(const QString& path, int daysAgo = 0, RuntimeKind kind = RuntimeKind::Node,
                                 const QString& command = QStringLiteral("npm run dev"))
{
    return RememberedProject{path, command, command, kind, now.addDays(-daysAgo)};
}

// Projects /p/app000 ... seen today, of one kind.
inline QList<RememberedProject> manyProjects(int count, RuntimeKind kind = RuntimeKind::Node)
{
    QList<RememberedProject> projects;
    for (int i = 0; i < count; ++i)
        projects.append(project(QStringLiteral("/p/app%1").arg(i, 3, 10, QLatin1Char('0')), 0, kind));
    return projects;
}

inline MenuContentInput input(QList<LocalServer> servers, QList<RememberedProject> saved = {})
{
    MenuContentInput in;
    in.servers = std::move(servers);
    in.savedProjects = std::move(saved);
    in.now = now;
    return in;
}

} // namespace ListValues

inline char* toString(const RunningItem& item)
{
    QStringList ids;
    for (const LocalServer& server : item.servers)
        ids.append(server.id());
    return QTest::toString(
        (item.kind == RunningItem::Kind::Server ? QStringLiteral("server(") : QStringLiteral("group(")) +
        ids.join(u' ') + u')');
}
