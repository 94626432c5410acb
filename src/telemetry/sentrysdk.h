#pragma once

#include "telemetry/sentrydsn.h"
#include "telemetry/sentryevent.h"

#include <QMutex>
#include <QThread>
#include <QUrl>
#include <QVariant>
#include <QWaitCondition>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

// How the error-reporting client is set up. It has none of the automatic features (traces, sessions,
// automatic or network breadcrumbs, personal data); the switches state that they stay off.
struct SentryOptions
{
    QString dsn;
    QString environment;
    QString releaseName;
    QString dist;
    double tracesSampleRate = 0;
    bool attachAllThreads = false;
    bool sendDefaultPii = false;
    bool enableAutoSessionTracking = false;
    bool enableAutoBreadcrumbTracking = false;
    bool enableNetworkBreadcrumbs = false;
    bool enableNetworkTracking = false;
    // Runs on every event before it is serialised; returning nothing drops the event.
    std::function<std::optional<SentryEvent>(SentryEvent)> beforeSend;
    int maxBreadcrumbs = 100;
};

// The tags and extras of one capture.
class SentryScope
{
public:
    void setTag(const QString& key, const QString& value) { m_tags.insert(key, value); }
    void setExtra(const QString& key, const QVariant& value) { m_extras.insert(key, value); }

    const QHash<QString, QString>& tags() const { return m_tags; }
    const QVariantMap& extras() const { return m_extras; }

private:
    QHash<QString, QString> m_tags;
    QVariantMap m_extras;
};

// Posts envelopes from a thread of its own, so that a flush on the GUI thread can wait for them.
class SentryEnvelopeSender final : public QThread
{

public:
    static constexpr int requestTimeoutMs = 30'000;

    SentryEnvelopeSender(QUrl url, QString authHeader);
    // Stops the thread; envelopes still on their way are dropped.
    ~SentryEnvelopeSender() override;

    void enqueue(const QByteArray& envelope);
    // True once every envelope handed over so far has been answered (or has failed); false at the time-out.
    bool flush(std::chrono::milliseconds timeout);
    void stop();

protected:
    void run() override;

private:
    void post(const QByteArray& envelope);
    void finishOne();

    const QUrl m_url;
    const QString m_authHeader;
    QMutex m_mutex;
    QWaitCondition m_changed;
    QNetworkAccessManager* m_network = nullptr;
    bool m_stopped = false;
    int m_outstanding = 0;
};

// A small client of the error-reporting service's envelope endpoint.
class SentrySdk
{
public:
    static inline const QString clientName = QStringLiteral("porthive.telemetry/1.0");

    // Null when the DSN the options give does not parse.
    static std::unique_ptr<SentrySdk> start(const std::function<void(SentryOptions&)>& configure);
    ~SentrySdk();

    const SentryOptions& options() const { return m_options; }
    const SentryDsn& dsn() const { return m_dsn; }

    // An error event for `error` with the scope's tags and extras. Gives the event id, empty when dropped.
    QString capture(const std::exception& error, const std::function<void(SentryScope&)>& configureScope);
    QString capture(SentryEvent event);
    void addBreadcrumb(SentryBreadcrumb breadcrumb);
    bool flush(std::chrono::milliseconds timeout);
    // Stops sending; later captures are dropped.
    void close();

    // The exception entry of an error: AppError's type name and description, else the C++ type and what().
    static SentryException exceptionFor(const std::exception& error);
    static QString newEventID();

private:
    SentrySdk(SentryOptions options, SentryDsn dsn);
    QString send(SentryEvent event, const SentryScope* scope);
    QByteArray envelope(const SentryEvent& event) const;

    SentryOptions m_options;
    SentryDsn m_dsn;
    std::unique_ptr<SentryEnvelopeSender> m_sender;
    mutable QMutex m_breadcrumbMutex;
    QList<SentryBreadcrumb> m_breadcrumbs;
};
