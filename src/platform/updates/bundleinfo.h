#pragma once

#include <QHash>
#include <QString>

#include <optional>

// The build-time configuration keys of the application bundle. A key that was not configured is absent,
// which is not the same as a key configured with an empty value.
class BundleInfo
{
public:
    using Values = QHash<QString, QString>;

    BundleInfo() = default;
    explicit BundleInfo(Values values)
        : m_values(std::move(values))
    {}

    // The values generated into this build.
    static const BundleInfo& main();

    std::optional<QString> value(const QString& key) const;
    bool contains(const QString& key) const { return m_values.contains(key); }
    const Values& values() const { return m_values; }

private:
    static Values buildValues();

    Values m_values;
};
