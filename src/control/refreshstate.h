#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

// The outcome of the last refresh, as the header and the menu-bar label show it.
struct RefreshState
{
    Q_GADGET
    Q_PROPERTY(Kind kind MEMBER kind)
    Q_PROPERTY(QString message MEMBER message)

public:
    // stale: the last scan failed while servers of an earlier scan are still listed; failed: the last scan
    // failed with nothing listed, or an action failed.
    enum class Kind
    {
        Stale,
        Failed,
        Idle,
        Refreshing
    };
    Q_ENUM(Kind)

    Kind kind = Kind::Idle;
    // Only stale and failed carry one.
    QString message;

    static RefreshState idle() { return {Kind::Idle, {}}; }
    static RefreshState refreshing() { return {Kind::Refreshing, {}}; }
    static RefreshState stale(QString message) { return {Kind::Stale, std::move(message)}; }
    static RefreshState failed(QString message) { return {Kind::Failed, std::move(message)}; }

    friend bool operator==(const RefreshState& a, const RefreshState& b)
    {
        if (a.kind != b.kind)
            return false;
        return (a.kind != Kind::Stale && a.kind != Kind::Failed) || a.message == b.message;
    }
};

// The busy mark a server row shows while an action runs on it.
enum class ServerActionFeedback
{
    Pausing,
    Resuming,
    Restarting,
    Killing
};

// The busy mark a remembered project's row shows while it starts.
enum class ProjectActionFeedback
{
    Starting
};

Q_DECLARE_METATYPE(RefreshState)
Q_DECLARE_METATYPE(ServerActionFeedback)
Q_DECLARE_METATYPE(ProjectActionFeedback)
