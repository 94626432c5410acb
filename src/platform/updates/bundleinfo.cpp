#include "platform/updates/bundleinfo.h"

const BundleInfo& BundleInfo::main()
{
    static const BundleInfo info(buildValues());
    return info;
}

std::optional<QString> BundleInfo::value(const QString& key) const
{
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}
