#include "discovery/serverprobeservice.h"

#include "discovery/oneshotsignal.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

using Deadline = std::chrono::steady_clock::time_point;

// One request and what came back of it.
struct Exchange
{
    bool answered = false;
    std::optional<qint64> statusCode;
    QByteArray body;
    bool cut = false;
    std::optional<QUrl> redirectTarget;
};

// An HTTP error status (404, 500, ...) is an answer; a transport or protocol failure is not. No proxy is ever
// used, so a 407 came from the server itself.
bool isHttpStatusError(QNetworkReply::NetworkError error)
{
    using E = QNetworkReply::NetworkError;
    return (error >= E::ContentAccessDenied && error <= E::UnknownContentError && error != E::ContentReSendError) ||
           error == E::ProtocolInvalidOperationError || error == E::ProxyAuthenticationRequiredError ||
           (error >= E::InternalServerError && error <= E::UnknownServerError);
}

bool isFollowable(const QUrl& target)
{
    const QString scheme = target.scheme().toLower();
    return (scheme == u"http"_s || scheme == u"https"_s) && isLoopbackHost(target.host());
}

QCoro::Task<Exchange> fetch(QNetworkAccessManager* manager, QUrl url, Deadline deadline, qint64 byteLimit)
{
    using namespace std::chrono;
    const auto remaining = duration_cast<milliseconds>(deadline - steady_clock::now());
    if (remaining <= milliseconds::zero())
        co_return Exchange{};

    QNetworkRequest request(url);
    request.setRawHeader("Range", "bytes=0-" + QByteArray::number(byteLimit - 1));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = manager->get(request);
    // Bounds what Qt buffers beyond what is read, whatever the server sends in spite of the range.
    reply->setReadBufferSize(byteLimit);

    OneShotSignal done;
    Exchange exchange;
    bool finished = false;
    exchange.body.reserve(byteLimit);
    const auto drain = [&] {
        while (exchange.body.size() < byteLimit && reply->bytesAvailable() > 0)
            exchange.body += reply->read(byteLimit - exchange.body.size());
        if (exchange.body.size() >= byteLimit) {
            exchange.cut = true;
            done.fire();
        }
    };
    QObject::connect(reply, &QIODevice::readyRead, &done, drain);
    QObject::connect(reply, &QNetworkReply::finished, &done, [&] {
        drain();
        finished = true;
        done.fire();
    });
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, &done, &OneShotSignal::fire);
    limit.start(remaining);

    co_await untilFired(&done);
    limit.stop();
    QObject::disconnect(reply, nullptr, &done, nullptr);

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        if (exchange.cut)
            exchange.answered = true;
        else if (finished)
            exchange.answered = reply->error() == QNetworkReply::NoError || isHttpStatusError(reply->error());
    }
    if (exchange.answered) {
        exchange.statusCode = status.toLongLong();
        const QVariant target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
        if (*exchange.statusCode >= 300 && *exchange.statusCode < 400 && target.isValid())
            exchange.redirectTarget = url.resolved(target.toUrl());
    }
    reply->abort();
    reply->deleteLater();
    co_return exchange;
}

} // namespace

ServerProbeService::ServerProbeService(std::chrono::milliseconds timeout, qint64 byteLimit)
    : m_timeout(timeout)
    , m_byteLimit(byteLimit)
{}

QCoro::Task<ProbeResult> ServerProbeService::probe(const QUrl& url) const
{
    return runProbe(url, m_timeout, m_byteLimit);
}

QCoro::Task<ProbeResult> ServerProbeService::runProbe(QUrl url, std::chrono::milliseconds timeout, qint64 byteLimit)
{
    const Deadline deadline = std::chrono::steady_clock::now() + timeout;
    // Fresh per probe: no cookie, cache or connection outlives it. Loopback traffic must never go through a proxy
    // from the environment.
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy(QNetworkProxy::NoProxy));

    for (int redirects = 0;; ++redirects) {
        auto request = fetch(&manager, url, deadline, byteLimit);
        Exchange exchange = co_await request;
        if (!exchange.answered)
            co_return ProbeResult{};
        if (exchange.redirectTarget && isFollowable(*exchange.redirectTarget)) {
            if (redirects == maxRedirects)
                co_return ProbeResult{};
            url = *exchange.redirectTarget;
            continue;
        }
        // A read cut at the limit may end inside a character; that must not cost the page its title.
        const QByteArray body = exchange.cut ? withoutCutCharacter(exchange.body) : exchange.body;
        co_return ProbeResult{exchange.statusCode, extractPageTitle(body)};
    }
}

std::optional<QString> extractPageTitle(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    static const QRegularExpression pattern(u"<title[^>]*>(.*?)</title>"_s,
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch() || match.capturedStart(1) < 0)
        return std::nullopt;
    QString title = match.captured(1);
    title.replace(u'\n', u' ');
    return title.trimmed();
}

QByteArray withoutCutCharacter(const QByteArray& bytes)
{
    // Look back over at most three continuation bytes for the lead byte of the last sequence.
    const qsizetype size = bytes.size();
    for (qsizetype start = size - 1; start >= 0 && start >= size - 4; --start) {
        const auto byte = static_cast<unsigned char>(bytes[start]);
        if ((byte & 0xC0) == 0x80)
            continue;
        const qsizetype length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return size - start < length ? bytes.left(start) : bytes;
    }
    return bytes;
}

QUrl loopbackServerURL(const QString& bindAddress, qint64 port)
{
    QString host = u"localhost"_s;
    if (bindAddress == u"127.0.0.1"_s)
        host = u"127.0.0.1"_s;
    else if (bindAddress == u"::1"_s)
        host = u"[::1]"_s;
    return QUrl(u"http://"_s + host + u':' + QString::number(port));
}

bool isLoopbackHost(const std::optional<QString>& host)
{
    if (!host)
        return false;
    qsizetype begin = 0;
    qsizetype end = host->size();
    while (begin < end && (host->at(begin) == u'[' || host->at(begin) == u']'))
        ++begin;
    while (end > begin && (host->at(end - 1) == u'[' || host->at(end - 1) == u']'))
        --end;
    const QString bare = host->mid(begin, end - begin).toLower();
    return bare == u"localhost"_s || bare == u"127.0.0.1"_s || bare == u"::1"_s;
}
