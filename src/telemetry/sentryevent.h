#pragma once

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

enum class SentryLevel
{
    Debug,
    Info,
    Warning,
    Error,
    Fatal
};

QString sentryLevelName(SentryLevel level);

struct SentryMessage
{
    QString formatted;
    // The template and its parameters, when the text was built from one.
    QString message;
    QStringList params;

    friend bool operator==(const SentryMessage&, const SentryMessage&) = default;
};

struct SentryBreadcrumb
{
    SentryLevel level = SentryLevel::Info;
    QString category;
    QString message;
    QVariantMap data;
    QDateTime timestamp;

    friend bool operator==(const SentryBreadcrumb&, const SentryBreadcrumb&) = default;
    QJsonObject toJson() const;
};

struct SentryException
{
    QString type;
    std::optional<QString> value;

    friend bool operator==(const SentryException&, const SentryException&) = default;
};

struct SentryUser
{
    std::optional<QString> id;
    std::optional<QString> username;
    std::optional<QString> email;
    std::optional<QString> ipAddress;

    friend bool operator==(const SentryUser&, const SentryUser&) = default;
};

// One event as the error-reporting service receives it.
struct SentryEvent
{
    // 32 lower-case hex digits; the client fills a fresh one in when empty.
    QString eventID;
    QDateTime timestamp;
    SentryLevel level = SentryLevel::Error;
    std::optional<SentryMessage> message;
    QString release;
    QString dist;
    QString environment;
    QHash<QString, QString> tags;
    QVariantMap extras;
    QStringList fingerprint;
    QList<SentryException> exceptions;
    QList<SentryBreadcrumb> breadcrumbs;
    // Parts the service reads as they are; this client never builds them itself.
    QJsonArray threads;
    QJsonObject stacktrace;
    QJsonObject debugMeta;
    std::optional<QJsonObject> request;
    std::optional<QString> serverName;
    std::optional<SentryUser> user;

    friend bool operator==(const SentryEvent&, const SentryEvent&) = default;

    QJsonObject toJson() const;
};
