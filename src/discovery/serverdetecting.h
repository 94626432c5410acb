#pragma once

#include "discovery/localserver.h"

#include <QCoroTask>
#include <QList>

// One snapshot of the machine's development servers.
class ServerDetecting
{
public:
    virtual ~ServerDetecting() = default;

    // Throws the listing's CommandRunnerError when the process or socket listing fails.
    virtual QCoro::Task<QList<LocalServer>> detectServers() = 0;
};
