#include "discovery/serverprobeservice.h"

#include "base/oneshotsignal.h"
#include "discovery/httpresponsereader.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QRegularExpression>
#include <QSslSocket>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using Deadline = std::chrono::steady_clock::time_point;

// Bytes taken from the socket per read.
constexpr qint64 readChunk = 16384;

// One request and what came back of it.
struct Exchange
{
    bool answered = false;
    std::optional<qint64> statusCode;
    QByteArray body;
    bool cut = false;
    std::optional<QUrl> redirectTarget;
};

bool isFollowable(const QUrl& target)
{
    const QString scheme = target.scheme().toLower();
    return (scheme == u"http"_s || scheme == u"https"_s) && isLoopbackHost(target.host());
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 305 || status == 307 || status == 308;
}

// Where a loopback host can be reached, tried in this order. No name is ever looked up: "localhost" is the
// loopback, and any other name (or an address off the machine) gets no connection at all.
QList<QHostAddress> loopbackAddresses(const QString& host)
{
    if (host.compare(u"localhost"_s, Qt::CaseInsensitive) == 0)
        return {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)};
    const QHostAddress address(host);
    if (address.isNull() || !address.isLoopback())
        return {};
    return {address};
}

QByteArray requestBytes(const QUrl& url, qint64 byteLimit)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url.port() != -1)
        host += ':' + QByteArray::number(url.port());
    return "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nRange: bytes=0-" + QByteArray::number(byteLimit - 1) +
           "\r\nAccept-Encoding: identity\r\nUser-Agent: Mozilla/5.0\r\nConnection: close\r\n\r\n";
}

// One GET over a connection of its own, on the calling thread: every step is a socket event, so nothing waits
// and nothing is left running once the probe has its answer or the deadline has passed. What is read is bounded
// by the response reader, whatever the peer sends.
QCoro::Task<Exchange> fetch(QUrl url, Deadline deadline, qint64 byteLimit)
{
    using namespace std::chrono;
    const auto remaining = duration_cast<milliseconds>(deadline - steady_clock::now());
    const QList<QHostAddress> addresses = loopbackAddresses(url.host());
    if (remaining <= milliseconds::zero() || addresses.isEmpty())
        co_return Exchange{};

    const bool secure = url.scheme().compare(u"https"_s, Qt::CaseInsensitive) == 0;
    const quint16 port = quint16(url.port(secure ? 443 : 80));
    const QByteArray request = requestBytes(url, byteLimit);

    OneShotSignal done;
    HttpResponseReader reader(ServerProbeService::headLimit, byteLimit);
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    qsizetype nextAddress = 0;

    const auto drain = [&](QTcpSocket* socket) {
        while (!done.hasFired() && socket->bytesAvailable() > 0) {
            const QByteArray bytes = socket->read(readChunk);
            if (bytes.isEmpty())
                break;
            const HttpResponseReader::State state = reader.feed(bytes);
            if (state == HttpResponseReader::State::Complete || state == HttpResponseReader::State::Failed)
                done.fire();
        }
    };
    // One attempt at a time; an address where nothing listens passes the request on to the next one.
    bool connected = false;
    std::function<void()> connectNext;
    connectNext = [&] {
        if (done.hasFired() || nextAddress >= addresses.size()) {
            done.fire();
            return;
        }
        const QHostAddress address = addresses.at(nextAddress++);
        std::unique_ptr<QTcpSocket> socket;
        if (secure)
            socket = std::make_unique<QSslSocket>();
        else
            socket = std::make_unique<QTcpSocket>();
        QTcpSocket* raw = socket.get();
        sockets.push_back(std::move(socket));
        raw->setProxy(QNetworkProxy::NoProxy);
        // Qt reads no further ahead than this before the bytes are taken.
        raw->setReadBufferSize(readChunk * 4);

        const auto closed = [&, raw] {
            drain(raw);
            reader.finish();
            done.fire();
        };
        QObject::connect(raw, &QAbstractSocket::connected, &done, [&, raw] {
            connected = true;
            if (!secure)
                raw->write(request);
        });
        if (auto* ssl = qobject_cast<QSslSocket*>(raw))
            QObject::connect(ssl, &QSslSocket::encrypted, &done, [&, raw] { raw->write(request); });
        QObject::connect(raw, &QIODevice::readyRead, &done, [&, raw] { drain(raw); });
        QObject::connect(raw, &QAbstractSocket::disconnected, &done, closed);
        QObject::connect(raw, &QAbstractSocket::errorOccurred, &done, [&, closed](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::RemoteHostClosedError)
                closed();
            else if (!connected)
                // Started from the event loop, not inside this socket's own handler.
                QTimer::singleShot(0, &done, [&] { connectNext(); });
            else
                done.fire();
        });
        if (auto* ssl = qobject_cast<QSslSocket*>(raw))
            ssl->connectToHostEncrypted(address.toString(), port, url.host());
        else
            raw->connectToHost(address, port);
    };

    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, &done, &OneShotSignal::fire);
    limit.start(remaining);
    connectNext();

    co_await untilFired(&done);
    limit.stop();
    for (const std::unique_ptr<QTcpSocket>& socket : sockets) {
        QObject::disconnect(socket.get(), nullptr, &done, nullptr);
        socket->abort();
    }

    Exchange exchange;
    if (reader.state() != HttpResponseReader::State::Complete)
        co_return exchange;
    exchange.answered = true;
    exchange.statusCode = reader.statusCode();
    exchange.body = reader.body();
    exchange.cut = reader.isBodyCut();
    if (isRedirect(reader.statusCode())) {
        const QByteArray location = reader.header("Location").value_or(QByteArray());
        const QUrl target = QUrl::fromEncoded(location);
        if (!location.isEmpty() && target.isValid())
            exchange.redirectTarget = url.resolved(target);
    }
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
    // A connection of its own per request: no cookie, cache or connection outlives the probe, and no proxy.
    for (int redirects = 0;; ++redirects) {
        auto request = fetch(url, deadline, byteLimit);
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
