#include "discovery/rememberedproject.h"

#include "discovery/discoverylog.h"
#include "discovery/localserver.h"
#include "telemetry/redaction.h"

#include <cmath>

namespace {

const QString keyProjectPath = QStringLiteral("projectPath");
const QString keyLaunchCommand = QStringLiteral("launchCommand");
const QString keyDisplayCommandLine = QStringLiteral("displayCommandLine");
const QString keyRuntimeKind = QStringLiteral("runtimeKind");
const QString keyLastSeenAt = QStringLiteral("lastSeenAt");
// Written only where there are variables, so entries without stay as they always were.
const QString keyLaunchEnvironment = QStringLiteral("launchEnvironment");

qint64 referenceMSecs()
{
    static const qint64 msecs = QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    return msecs;
}

} // namespace

namespace ReferenceDate {

double secondsSinceReference(const QDateTime& date)
{
    return double(date.toMSecsSinceEpoch() - referenceMSecs()) / 1000.0;
}

QDateTime fromSecondsSinceReference(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(referenceMSecs() + std::llround(seconds * 1000.0), Qt::UTC);
}

} // namespace ReferenceDate

std::optional<RememberedProject> RememberedProject::fromServer(const LocalServer& server)
{
    if (!server.projectPath)
        return std::nullopt;
    return RememberedProject{*server.projectPath, server.rawCommandLine, server.displayCommandLine,
                             server.runtimeKind,  server.lastSeenAt,     server.launchEnvironment};
}

QJsonObject RememberedProject::toJson() const
{
    QJsonObject object{
        {keyProjectPath, projectPath},
        {keyLaunchCommand, launchCommand},
        {keyDisplayCommandLine, displayCommandLine},
        {keyRuntimeKind, RuntimeKinds::rawValue(runtimeKind)},
        {keyLastSeenAt, ReferenceDate::secondsSinceReference(lastSeenAt)},
    };
    if (!launchEnvironment.isEmpty()) {
        QJsonObject variables;
        for (auto variable = launchEnvironment.cbegin(); variable != launchEnvironment.cend(); ++variable)
            variables.insert(variable.key(), variable.value());
        object.insert(keyLaunchEnvironment, variables);
    }
    return object;
}

std::optional<RememberedProject> RememberedProject::fromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    for (const QString& key : {keyProjectPath, keyLaunchCommand, keyDisplayCommandLine, keyRuntimeKind}) {
        if (!object.value(key).isString())
            return std::nullopt;
    }
    const QJsonValue seen = object.value(keyLastSeenAt);
    // Beyond about three million years a date no longer fits the millisecond clock.
    if (!seen.isDouble() || !std::isfinite(seen.toDouble()) || std::abs(seen.toDouble()) > 1e14)
        return std::nullopt;
    const auto kind = RuntimeKinds::fromRawValue(object.value(keyRuntimeKind).toString());
    if (!kind)
        return std::nullopt;
    LaunchEnvironment::Variables environment;
    bool dropped = false;
    if (object.contains(keyLaunchEnvironment)) {
        const QJsonValue variables = object.value(keyLaunchEnvironment);
        if (!variables.isObject())
            return std::nullopt;
        const QJsonObject entries = variables.toObject();
        for (auto entry = entries.constBegin(); entry != entries.constEnd(); ++entry) {
            if (!entry.value().isString())
                return std::nullopt;
            // The file is the user's own, but its names go into shell text: one a process could not have been
            // given is never run.
            if (!LaunchEnvironment::isSettable(entry.key(), entry.value().toString())) {
                qCWarning(lcProjects) << "dropped a launch variable that cannot be set:" << entry.key();
                dropped = true;
                continue;
            }
            environment.insert(entry.key(), entry.value().toString());
        }
    }
    const QString launchCommand = object.value(keyLaunchCommand).toString();
    QString displayCommandLine = object.value(keyDisplayCommandLine).toString();
    // Shown again from what runs: a line written before the variables were redacted one by one kept pieces of a
    // secret value in view, and one may show a variable just dropped.
    if (dropped || !environment.isEmpty())
        displayCommandLine = LaunchEnvironment::shownAssignments(environment) + redactCommandLine(launchCommand);
    return RememberedProject{object.value(keyProjectPath).toString(),
                             launchCommand,
                             displayCommandLine,
                             *kind,
                             ReferenceDate::fromSecondsSinceReference(seen.toDouble()),
                             std::move(environment)};
}

QJsonArray RememberedProject::encodeList(const QList<RememberedProject>& projects)
{
    QJsonArray array;
    for (const RememberedProject& project : projects)
        array.append(project.toJson());
    return array;
}

std::optional<QList<RememberedProject>> RememberedProject::decodeList(const QJsonValue& value)
{
    if (!value.isArray()) {
        qCDebug(lcProjects) << "the remembered projects are no list:" << value.type();
        return std::nullopt;
    }
    QList<RememberedProject> projects;
    for (const QJsonValue& element : value.toArray()) {
        auto project = fromJson(element);
        if (!project) {
            qCDebug(lcProjects) << "the remembered projects are not read: entry" << projects.size() << "is no project";
            return std::nullopt;
        }
        projects.append(std::move(*project));
    }
    return projects;
}
