#include "telemetry/sentrydsn.h"

#include <QStringList>

using namespace Qt::StringLiterals;

std::optional<SentryDsn> SentryDsn::parse(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    SentryDsn dsn;
    dsn.scheme = url.scheme();
    if (dsn.scheme != u"http"_s && dsn.scheme != u"https"_s)
        return std::nullopt;
    dsn.publicKey = url.userName(QUrl::FullyDecoded);
    dsn.secretKey = url.password(QUrl::FullyDecoded);
    dsn.host = url.host(QUrl::FullyEncoded);
    dsn.port = url.port();
    if (dsn.publicKey.isEmpty() || dsn.host.isEmpty() || url.hasQuery() || url.hasFragment())
        return std::nullopt;

    QString path = url.path(QUrl::FullyEncoded);
    while (path.endsWith(u'/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return std::nullopt;
    dsn.projectID = path.mid(slash + 1);
    dsn.pathPrefix = path.left(slash);
    if (dsn.projectID.isEmpty())
        return std::nullopt;
    return dsn;
}

QUrl SentryDsn::envelopeUrl() const
{
    QUrl url;
    url.setScheme(scheme);
    url.setHost(host);
    url.setPort(port);
    url.setPath(pathPrefix + u"/api/"_s + projectID + u"/envelope/"_s, QUrl::StrictMode);
    return url;
}

QString SentryDsn::authHeader(const QString& clientName) const
{
    QString header = u"Sentry sentry_version=7, sentry_client="_s + clientName + u", sentry_key="_s + publicKey;
    if (!secretKey.isEmpty())
        header += u", sentry_secret="_s + secretKey;
    return header;
}

QString SentryDsn::toString() const
{
    QUrl url;
    url.setScheme(scheme);
    url.setUserName(publicKey);
    url.setPassword(secretKey);
    url.setHost(host);
    url.setPort(port);
    url.setPath(pathPrefix + u'/' + projectID, QUrl::StrictMode);
    return url.toString(QUrl::FullyEncoded);
}
