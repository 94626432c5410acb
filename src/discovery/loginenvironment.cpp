#include "discovery/loginenvironment.h"

#include "discovery/discoverylog.h"
#include "platform/launching/loginshell.h"

#include <utility>

LoginShellEnvironment::LoginShellEnvironment(QString shell, std::chrono::milliseconds timeout)
    : m_shell(std::move(shell))
    , m_timeout(timeout)
{}

std::optional<QList<QByteArray>> LoginShellEnvironment::environment()
{
    const std::lock_guard lock(m_lock);
    if (!m_read) {
        m_read = LoginShell::exportedEnvironment(m_shell, m_timeout);
        if (!m_read)
            qCDebug(lcDiscovery) << "the login environment could not be read: launches are read without it";
    }
    return m_read;
}
