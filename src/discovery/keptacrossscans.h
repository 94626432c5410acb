#pragma once

#include <QHash>

#include <utility>

// What one scan worked out from a key, kept for the next scan while that one asks for the same key; what a scan did
// not ask for is forgotten when it ends. Only for work whose key is all it depends on. Not thread-safe: one scan at
// a time.
template<typename Key, typename Value>
class KeptAcrossScans
{
public:
    template<typename Work>
    Value value(const Key& key, Work&& work)
    {
        if (const auto asked = m_current.constFind(key); asked != m_current.cend())
            return *asked;
        const auto kept = m_previous.constFind(key);
        Value value = kept != m_previous.cend() ? *kept : std::forward<Work>(work)(key);
        m_current.insert(key, value);
        return value;
    }

    void endScan() { m_previous = std::exchange(m_current, {}); }

private:
    QHash<Key, Value> m_previous;
    QHash<Key, Value> m_current;
};
