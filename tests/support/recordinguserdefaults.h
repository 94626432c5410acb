#pragma once

#include "platform/storage/userdefaults.h"

#include <QList>
#include <utility>

// Keeps values in memory and records every write in order.
class RecordingUserDefaults final : public UserDefaults
{
public:
    QVariant value(const QString& key) const override { return m_values.value(key); }
    bool contains(const QString& key) const override { return m_values.contains(key); }
    void setValue(const QString& key, const QVariant& value) override
    {
        writes.append({key, value});
        m_values.setValue(key, value);
    }
    void remove(const QString& key) override { m_values.remove(key); }

    // The values written under `key`, in order.
    QList<QVariant> writesOf(const QString& key) const
    {
        QList<QVariant> values;
        for (const auto& [written, value] : writes) {
            if (written == key)
                values.append(value);
        }
        return values;
    }

    QList<std::pair<QString, QVariant>> writes;

private:
    MemoryUserDefaults m_values;
};
