#pragma once

#include "base/snapshotrows.h"
#include "discovery/localserver.h"
#include "discovery/serverprobeservice.h"

#include <QTest>

// Readable QCOMPARE failures for the discovery values (found by argument-dependent lookup).

inline QString optionalText(const std::optional<QString>& text)
{
    return text ? u'"' + *text + u'"' : QStringLiteral("absent");
}

inline char* toString(const ProcessRow& row)
{
    return QTest::toString(QStringLiteral("ProcessRow(%1, %2, \"%3\", \"%4\", \"%5\")")
                               .arg(row.pid)
                               .arg(row.parentPid)
                               .arg(row.state, row.executable, row.commandLine));
}

inline char* toString(const ConnectionRow& row)
{
    return QTest::toString(QStringLiteral("ConnectionRow(%1, \"%2\", \"%3\", %4)")
                               .arg(row.pid)
                               .arg(row.command, row.endpoint, optionalText(row.state)));
}

inline char* toString(const ListenerRow& row)
{
    return QTest::toString(
        QStringLiteral("ListenerRow(%1, \"%2\", %3)").arg(row.pid).arg(row.bindAddress).arg(row.port));
}

inline char* toString(const ProbeResult& result)
{
    return QTest::toString(QStringLiteral("ProbeResult(%1, %2)")
                               .arg(result.statusCode ? QString::number(*result.statusCode) : QStringLiteral("absent"),
                                    optionalText(result.title)));
}

inline QString optionalNumber(const std::optional<qint64>& number)
{
    return number ? QString::number(*number) : QStringLiteral("absent");
}

inline QString idList(const QList<qint32>& ids)
{
    QStringList texts;
    for (qint32 id : ids)
        texts.append(QString::number(id));
    return u'[' + texts.join(QStringLiteral(", ")) + u']';
}

// Every field of a server on one line, for comparing lists of servers with a readable failure.
inline QString describeServer(const LocalServer& s)
{
    return QStringLiteral(
               "LocalServer(%1, ids %2, %3, %4, paused %5, raw \"%6\", display \"%7\", project %8, exe \"%9\", "
               "cwd %10, parent %11, connections %12 %13, http %14, title %15, seen %16)")
        .arg(QString::number(s.pid), idList(s.managedProcessIDs), s.url.toString(),
             RuntimeKinds::rawValue(s.runtimeKind), s.isPaused ? QStringLiteral("yes") : QStringLiteral("no"),
             s.rawCommandLine, s.displayCommandLine, optionalText(s.projectPath), s.processExecutable)
        .arg(optionalText(s.processWorkingDirectory), optionalText(s.parentProcessSummary),
             QString::number(s.activeConnectionCount), s.activeConnectionClients.join(u'|'),
             optionalNumber(s.httpStatus), optionalText(s.pageTitle), s.lastSeenAt.toString(Qt::ISODateWithMs));
}

inline QStringList describeServers(const QList<LocalServer>& servers)
{
    QStringList lines;
    for (const LocalServer& server : servers)
        lines.append(describeServer(server));
    return lines;
}

inline char* toString(const LocalServer& server)
{
    return QTest::toString(describeServer(server));
}
