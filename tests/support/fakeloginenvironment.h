#pragma once

#include "discovery/loginenvironment.h"

#include <atomic>
#include <mutex>

// A login environment the test sets, counting how often it is asked.
class FakeLoginEnvironment final : public LoginEnvironmentSource
{
public:
    std::optional<QList<QByteArray>> environment() override
    {
        ++calls;
        const std::lock_guard lock(m_lock);
        return m_entries;
    }

    void set(std::optional<QList<QByteArray>> entries)
    {
        const std::lock_guard lock(m_lock);
        m_entries = std::move(entries);
    }

    std::atomic<int> calls = 0;

private:
    std::mutex m_lock;
    std::optional<QList<QByteArray>> m_entries;
};
