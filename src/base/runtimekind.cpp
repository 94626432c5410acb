#include "base/runtimekind.h"

namespace RuntimeKinds {

const QList<RuntimeKind>& allCases()
{
    static const QList<RuntimeKind> cases{RuntimeKind::AgentBrowser, RuntimeKind::Next, RuntimeKind::Vite,
                                          RuntimeKind::Node, RuntimeKind::Bun};
    return cases;
}

QString rawValue(RuntimeKind kind)
{
    switch (kind) {
    case RuntimeKind::AgentBrowser:
        return QStringLiteral("agentBrowser");
    case RuntimeKind::Next:
        return QStringLiteral("next");
    case RuntimeKind::Vite:
        return QStringLiteral("vite");
    case RuntimeKind::Node:
        return QStringLiteral("node");
    case RuntimeKind::Bun:
        return QStringLiteral("bun");
    }
    Q_UNREACHABLE();
    return {};
}

QString displayName(RuntimeKind kind)
{
    switch (kind) {
    case RuntimeKind::AgentBrowser:
        return QStringLiteral("Agent Browser");
    case RuntimeKind::Next:
        return QStringLiteral("Next");
    case RuntimeKind::Vite:
        return QStringLiteral("Vite");
    case RuntimeKind::Node:
        return QStringLiteral("Node");
    case RuntimeKind::Bun:
        return QStringLiteral("Bun");
    }
    Q_UNREACHABLE();
    return {};
}

std::optional<RuntimeKind> fromRawValue(const QString& raw)
{
    for (RuntimeKind kind : allCases()) {
        if (rawValue(kind) == raw)
            return kind;
    }
    return std::nullopt;
}

} // namespace RuntimeKinds
