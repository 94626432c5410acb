#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

#include <optional>

// The development runtime of a server. The order of the cases is the order views sort and filter by.
enum class RuntimeKind
{
    AgentBrowser,
    Next,
    Vite,
    Node,
    Bun
};

namespace RuntimeKinds {

const QList<RuntimeKind>& allCases();
// The value JSON and usage events carry.
QString rawValue(RuntimeKind kind);
QString displayName(RuntimeKind kind);
// Only an exact raw value gives a kind.
std::optional<RuntimeKind> fromRawValue(const QString& raw);

} // namespace RuntimeKinds

Q_DECLARE_METATYPE(RuntimeKind)
