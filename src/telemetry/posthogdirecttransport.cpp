#include "telemetry/posthogdirecttransport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

using namespace Qt::StringLiterals;

QUrl PostHogCaptureRequest::captureUrl() const
{
    QUrl url = host;
    QString path = url.path();
    // "https://host/" and "https://host/base/" must not give a doubled slash.
    while (path.endsWith(u'/'))
        path.chop(1);
    url.setPath(path + u"/i/v0/e/"_s);
    return url;
}

QByteArray PostHogCaptureRequest::body() const
{
    QJsonObject props;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        props.insert(it.key(), it.value().toJson());
    const QJsonObject object{
        {u"api_key"_s, apiKey},
        {u"event"_s, event},
        {u"distinct_id"_s, distinctID},
        {u"properties"_s, props},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

URLSessionPostHogDirectTransport::URLSessionPostHogDirectTransport(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent)
    , m_network(network ? network : new QNetworkAccessManager(this))
{}

URLSessionPostHogDirectTransport::~URLSessionPostHogDirectTransport()
{
    cancelAll();
}

void URLSessionPostHogDirectTransport::send(const PostHogCaptureRequest& request)
{
    const QByteArray body = request.body();
    if (body.isEmpty())
        return;

    QNetworkRequest networkRequest(request.captureUrl());
    networkRequest.setTransferTimeout(requestTimeoutMs);
    networkRequest.setHeader(QNetworkRequest::ContentTypeHeader, u"application/json"_s);

    const QUuid id = QUuid::createUuid();
    QNetworkReply* reply = m_network->post(networkRequest, body);
    m_pendingRequests.insert(id, reply);
    // Success, failure and cancellation alike: the answer is ignored, only the entry goes.
    connect(reply, &QNetworkReply::finished, this, [this, id, reply] {
        m_pendingRequests.remove(id);
        reply->deleteLater();
    });
}

void URLSessionPostHogDirectTransport::cancelAll()
{
    // Aborting a reply finishes it at once, and its handler edits the map: walk a detached copy.
    const QHash<QUuid, QPointer<QNetworkReply>> running = std::exchange(m_pendingRequests, {});
    for (const QPointer<QNetworkReply>& reply : running) {
        if (reply)
            reply->abort();
    }
}
