#pragma once

#include "base/runtimekind.h"
#include "discovery/launchenvironment.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

struct LocalServer;

// A project that was once seen running and can be started again.
struct RememberedProject
{
    QString projectPath;
    QString launchCommand;
    QString displayCommandLine;
    RuntimeKind runtimeKind = RuntimeKind::Node;
    QDateTime lastSeenAt;
    // The variables the user gave its launch, set again when it starts; stored only in the private settings file.
    LaunchEnvironment::Variables launchEnvironment = {};

    QString id() const { return projectPath; }

    // Only servers with a project folder can be remembered.
    static std::optional<RememberedProject> fromServer(const LocalServer& server);

    QJsonObject toJson() const;
    static std::optional<RememberedProject> fromJson(const QJsonValue& value);

    // A whole list decodes or none of it does.
    static QJsonArray encodeList(const QList<RememberedProject>& projects);
    static std::optional<QList<RememberedProject>> decodeList(const QJsonValue& value);

    friend bool operator==(const RememberedProject&, const RememberedProject&) = default;
};

// Dates travel as seconds, with fraction, since 2001-01-01 00:00:00 UTC.
namespace ReferenceDate {
double secondsSinceReference(const QDateTime& date);
QDateTime fromSecondsSinceReference(double seconds);
} // namespace ReferenceDate

Q_DECLARE_METATYPE(RememberedProject)
