#include "telemetry/sentryevent.h"

#include <QJsonValue>

using namespace Qt::StringLiterals;

namespace {

QString timestampText(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

} // namespace

QString sentryLevelName(SentryLevel level)
{
    switch (level) {
    case SentryLevel::Debug:
        return u"debug"_s;
    case SentryLevel::Info:
        return u"info"_s;
    case SentryLevel::Warning:
        return u"warning"_s;
    case SentryLevel::Error:
        return u"error"_s;
    case SentryLevel::Fatal:
        return u"fatal"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QJsonObject SentryBreadcrumb::toJson() const
{
    QJsonObject object{{u"level"_s, sentryLevelName(level)}};
    if (timestamp.isValid())
        object.insert(u"timestamp"_s, timestampText(timestamp));
    if (!category.isEmpty())
        object.insert(u"category"_s, category);
    if (!message.isEmpty())
        object.insert(u"message"_s, message);
    if (!data.isEmpty())
        object.insert(u"data"_s, QJsonObject::fromVariantMap(data));
    return object;
}

QJsonObject SentryEvent::toJson() const
{
    QJsonObject object{
        {u"event_id"_s, eventID},
        {u"level"_s, sentryLevelName(level)},
        {u"platform"_s, u"native"_s},
    };
    if (timestamp.isValid())
        object.insert(u"timestamp"_s, timestampText(timestamp));
    if (message) {
        QJsonObject text{{u"formatted"_s, message->formatted}};
        if (!message->message.isEmpty())
            text.insert(u"message"_s, message->message);
        if (!message->params.isEmpty())
            text.insert(u"params"_s, QJsonArray::fromStringList(message->params));
        object.insert(u"message"_s, text);
    }
    if (!release.isEmpty())
        object.insert(u"release"_s, release);
    if (!dist.isEmpty())
        object.insert(u"dist"_s, dist);
    if (!environment.isEmpty())
        object.insert(u"environment"_s, environment);
    if (!tags.isEmpty()) {
        QJsonObject tagObject;
        for (auto it = tags.cbegin(); it != tags.cend(); ++it)
            tagObject.insert(it.key(), it.value());
        object.insert(u"tags"_s, tagObject);
    }
    if (!extras.isEmpty())
        object.insert(u"extra"_s, QJsonObject::fromVariantMap(extras));
    if (!fingerprint.isEmpty())
        object.insert(u"fingerprint"_s, QJsonArray::fromStringList(fingerprint));
    if (!exceptions.isEmpty()) {
        QJsonArray values;
        for (const SentryException& exception : exceptions) {
            QJsonObject value{{u"type"_s, exception.type}};
            if (exception.value)
                value.insert(u"value"_s, *exception.value);
            values.append(value);
        }
        object.insert(u"exception"_s, QJsonObject{{u"values"_s, values}});
    }
    if (!breadcrumbs.isEmpty()) {
        QJsonArray values;
        for (const SentryBreadcrumb& breadcrumb : breadcrumbs)
            values.append(breadcrumb.toJson());
        object.insert(u"breadcrumbs"_s, QJsonObject{{u"values"_s, values}});
    }
    if (!threads.isEmpty())
        object.insert(u"threads"_s, QJsonObject{{u"values"_s, threads}});
    if (!stacktrace.isEmpty())
        object.insert(u"stacktrace"_s, stacktrace);
    if (!debugMeta.isEmpty())
        object.insert(u"debug_meta"_s, debugMeta);
    if (request)
        object.insert(u"request"_s, *request);
    if (serverName)
        object.insert(u"server_name"_s, *serverName);
    if (user) {
        QJsonObject userObject;
        const auto put = [&userObject](const QString& key, const std::optional<QString>& value) {
            if (value)
                userObject.insert(key, *value);
        };
        put(u"id"_s, user->id);
        put(u"username"_s, user->username);
        put(u"email"_s, user->email);
        put(u"ip_address"_s, user->ipAddress);
        object.insert(u"user"_s, userObject);
    }
    return object;
}
