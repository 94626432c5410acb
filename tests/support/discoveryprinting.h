#pragma once

#include "discovery/serverprobeservice.h"
#include "discovery/snapshotrows.h"

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
