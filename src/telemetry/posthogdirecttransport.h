#pragma once

#include "telemetry/analyticsevent.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QUuid>

class QNetworkAccessManager;
class QNetworkReply;

// One usage event as the capture endpoint receives it.
struct PostHogCaptureRequest
{
    QString apiKey;
    QUrl host;
    QString event;
    QString distinctID;
    AnalyticsProperties properties;

    friend bool operator==(const PostHogCaptureRequest&, const PostHogCaptureRequest&) = default;

    // The host with "/i/v0/e/" after its own path.
    QUrl captureUrl() const;
    // The compact JSON object with "api_key", "event", "distinct_id" and "properties".
    QByteArray body() const;
};

class PostHogDirectTransporting
{
public:
    virtual ~PostHogDirectTransporting() = default;
    // Fire and forget: the answer is never read.
    virtual void send(const PostHogCaptureRequest& request) = 0;
    virtual void cancelAll() = 0;
};

// Posts each request on its own, keeping the running ones so that a change of consent can stop them.
// Lives on the GUI thread.
class URLSessionPostHogDirectTransport final : public QObject, public PostHogDirectTransporting
{
    Q_OBJECT

public:
    static constexpr int requestTimeoutMs = 60'000;

    // Uses `network` when given (it must outlive the transport), else a manager of its own.
    explicit URLSessionPostHogDirectTransport(QNetworkAccessManager* network = nullptr, QObject* parent = nullptr);
    ~URLSessionPostHogDirectTransport() override;

    void send(const PostHogCaptureRequest& request) override;
    void cancelAll() override;

    qsizetype pendingRequestCount() const { return m_pendingRequests.size(); }

private:
    QNetworkAccessManager* m_network;
    QHash<QUuid, QPointer<QNetworkReply>> m_pendingRequests;
};
