#include "discovery/serverprobeservice.h"
#include "support/discoveryprinting.h"
#include "support/nodeserver.h"
#include "support/testhome.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using StatusCode = QHttpServerResponse::StatusCode;

namespace {

// Generous for probes that must succeed on a loaded machine; the standard 0.75 s where the limit is the point.
constexpr std::chrono::milliseconds relaxed = 20s;

QHttpServerResponse page(const QByteArray& body, StatusCode status = StatusCode::Ok)
{
    return QHttpServerResponse("text/html; charset=utf-8", body, status);
}

QHttpServerResponse redirect(const QByteArray& location, const QByteArray& body = {})
{
    QHttpServerResponse response = page(body, StatusCode::Found);
    response.setHeader("Location", location);
    return response;
}

ProbeResult probe(const QUrl& url, std::chrono::milliseconds timeout = relaxed,
                  qint64 byteLimit = ServerProbeService::standardByteLimit)
{
    const ServerProbeService service(timeout, byteLimit);
    return QCoro::waitFor(service.probe(url));
}

ProbeResult answer(qint64 status, std::optional<QString> title)
{
    return ProbeResult{status, std::move(title)};
}

// A body of exactly `size` bytes that begins with `head` and ends with `tail`.
QByteArray padded(const QByteArray& head, qsizetype size, const QByteArray& tail = {})
{
    return head + QByteArray(size - head.size() - tail.size(), ' ') + tail;
}

// Sends every connection to a proxy that is not there.
class DeadProxyFactory final : public QNetworkProxyFactory
{
public:
    explicit DeadProxyFactory(quint16 port)
        : m_port(port)
    {}
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery&) override
    {
        return {QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), m_port)};
    }

private:
    quint16 m_port;
};

// A raw TCP server that answers "GET /closed" with the number of its other connections that have ended, as a page
// title, and sends every other request the endless or oversized answer its path names.
QString hostileServerScript()
{
    return uR"js(
const net = require('net');
let ended = 0;
const filler = Buffer.alloc(65536, 'a');
const server = net.createServer((socket) => {
    socket.on('error', () => {});
    socket.once('data', (data) => {
        const path = data.toString('latin1').split(' ')[1];
        if (path === '/closed') {
            const body = '<title>' + ended + '</title>';
            socket.end('HTTP/1.1 200 OK\r\nContent-Length: ' + body.length + '\r\nConnection: close\r\n\r\n' + body);
            return;
        }
        socket.on('close', () => { ++ended; });
        if (path === '/huge-header') {
            socket.write('HTTP/1.1 200 OK\r\nX-Huge: ');
            for (let i = 0; i < 64; ++i)
                socket.write(filler);
            const body = '<title>Huge</title>';
            socket.end('\r\nContent-Length: ' + body.length + '\r\n\r\n' + body);
            return;
        }
        socket.write(path === '/status-line' ? 'HTTP/1.1 200 ' : 'HTTP/1.1 200 OK\r\nX-Endless: ');
        const pump = () => { while (!socket.destroyed && socket.write(filler)) {} };
        socket.on('drain', pump);
        pump();
    });
});
server.listen(0, '127.0.0.1', () => console.log(server.address().port));
)js"_s;
}

} // namespace

class TestServerProbe : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void extractPageTitle_data();
    void extractPageTitle();
    void withoutCutCharacter_data();
    void withoutCutCharacter();
    void isLoopbackHost_data();
    void isLoopbackHost();
    void loopbackServerURL_data();
    void loopbackServerURL();

    void answers_data();
    void answers();
    void asksForTheFirstBytesOnly();
    void readsNoMoreThanTheLimit();
    void hugeBodyIsCutAtTheLimit();
    void cutInsideACharacterKeepsTheTitle();
    void redirects_data();
    void redirects();
    void nothingListening();
    void serverThatNeverAnswers();
    void bodyThatNeverEnds();
    void deadlineCoversTheWholeRedirectChain();
    void environmentProxyIsNeverUsed();
    void hostilePeer_data();
    void hostilePeer();

private:
    QUrl url(const QString& path) const { return QUrl(u"http://127.0.0.1:%1%2"_s.arg(m_port).arg(path)); }

    QHttpServer m_server;
    QHttpServer m_v6Server;
    quint16 m_port = 0;
    quint16 m_v6Port = 0;
    QByteArray m_lastRange;
};

void TestServerProbe::initTestCase()
{
    m_server.route(u"/"_s, [this](const QHttpServerRequest& request) {
        m_lastRange = request.value("Range");
        return page("<html><head><title>Home</title></head></html>");
    });
    m_server.route(u"/dashboard"_s, [] {
        return page("<html><head><TITLE lang=\"en\">\n  Dashboard\n</TITLE></head><body>x</body></html>");
    });
    m_server.route(u"/untitled"_s, [] { return page("<html><body>no title here</body></html>"); });
    m_server.route(u"/latin1"_s, [] { return page("<title>Caf\xe9</title>"); });
    m_server.route(u"/empty-title"_s, [] { return page("<title></title>"); });
    m_server.route(u"/partial"_s, [] { return page("<title>Partial</title>", StatusCode::PartialContent); });
    m_server.route(u"/missing"_s, [] { return page("<title>Not found</title>", StatusCode::NotFound); });
    m_server.route(u"/broken"_s, [] { return page("oops", StatusCode::InternalServerError); });
    m_server.route(u"/locked"_s, [] { return page("<title>Sign in</title>", StatusCode::Unauthorized); });
    m_server.route(u"/proxy-locked"_s,
                   [] { return page("<title>Proxy</title>", StatusCode::ProxyAuthenticationRequired); });
    m_server.route(u"/unsatisfiable"_s,
                   [] { return page("<title>Range</title>", StatusCode::RequestRangeNotSatisfiable); });
    m_server.route(u"/teapot"_s, [] { return page("<title>Tea</title>", StatusCode::ImATeapot); });
    m_server.route(u"/unavailable"_s, [] { return page("<title>Later</title>", StatusCode::ServiceUnavailable); });
    m_server.route(u"/late-title"_s, [] { return page(padded("<html>", 70000, "<title>Late</title>")); });
    m_server.route(u"/huge"_s, [] { return page(padded("<title>Huge</title>", 10 * 1024 * 1024)); });
    // The limit cuts the "ü" that ends the first 65536 bytes in half.
    m_server.route(u"/cut-character"_s, [] {
        return page(padded("<title>Gr\xc3\xbc\xc3\x9f"
                           "e</title>",
                           65536, "\xc3") +
                    "\xbc tail");
    });
    m_server.route(u"/login"_s, [] { return page("<title>Login</title>"); });
    m_server.route(u"/to-localhost"_s, [this] {
        return redirect("http://localhost:" + QByteArray::number(m_port) + "/login", "<title>Moving</title>");
    });
    m_server.route(u"/to-ipv6"_s, [this] { return redirect("http://[::1]:" + QByteArray::number(m_v6Port) + "/"); });
    m_server.route(u"/relative"_s, [] { return redirect("/login"); });
    m_server.route(u"/twice"_s, [] { return redirect("/relative"); });
    m_server.route(u"/outside"_s, [] { return redirect("http://example.com/", "<title>Moved</title>"); });
    m_server.route(u"/other-loopback"_s, [this] {
        return redirect("http://127.0.0.2:" + QByteArray::number(m_port) + "/login", "<title>Not followed</title>");
    });
    m_server.route(u"/suffix"_s, [] { return redirect("http://evil-localhost/", "<title>Suffix</title>"); });
    m_server.route(u"/file"_s, [] { return redirect("file:///etc/passwd", "<title>File</title>"); });
    m_server.route(u"/loop"_s, [] { return redirect("/loop"); });
    m_port = m_server.listen(QHostAddress::LocalHost, 0);
    QVERIFY(m_port != 0);

    m_v6Server.route(u"/"_s, [] { return page("<title>IPv6 home</title>"); });
    m_v6Port = m_v6Server.listen(QHostAddress::LocalHostIPv6, 0);
    QVERIFY(m_v6Port != 0);
}

void TestServerProbe::extractPageTitle_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::optional<QString>>("title");
    QTest::newRow("attributes, case, line breaks")
        << QByteArray("<html><head><TITLE lang=\"en\">\n  Dashboard\n</TITLE>") << std::optional(u"Dashboard"_s);
    QTest::newRow("inner line feed") << QByteArray("<title>Line one\nLine two</title>")
                                     << std::optional(u"Line one Line two"_s);
    QTest::newRow("references stay") << QByteArray("<title>a &amp; b</title>") << std::optional(u"a &amp; b"_s);
    QTest::newRow("empty title") << QByteArray("<title></title>") << std::optional(QString());
    QTest::newRow("blank title") << QByteArray("<title> \n\t </title>") << std::optional(QString());
    QTest::newRow("carriage return and tab stay inside")
        << QByteArray("<title>a\r\nb\tc</title>") << std::optional(u"a\r b\tc"_s);
    QTest::newRow("first of two") << QByteArray("<title>One</title><title>Two</title>") << std::optional(u"One"_s);
    QTest::newRow("utf-8") << QByteArray("<title>Grüße – 東京</title>") << std::optional(u"Grüße – 東京"_s);
    QTest::newRow("no title") << QByteArray("<html><body>hi</body></html>") << std::optional<QString>();
    QTest::newRow("unclosed") << QByteArray("<title>Never closed") << std::optional<QString>();
    QTest::newRow("not utf-8") << QByteArray("<title>Caf\xe9</title>") << std::optional<QString>();
    QTest::newRow("nothing") << QByteArray() << std::optional<QString>();
}

void TestServerProbe::extractPageTitle()
{
    QFETCH(QByteArray, bytes);
    QFETCH(std::optional<QString>, title);
    QCOMPARE(::extractPageTitle(bytes), title);
}

void TestServerProbe::withoutCutCharacter_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ascii") << QByteArray("abc") << QByteArray("abc");
    QTest::newRow("complete two-byte") << QByteArray("a\xc3\xbc") << QByteArray("a\xc3\xbc");
    QTest::newRow("cut two-byte") << QByteArray("a\xc3") << QByteArray("a");
    QTest::newRow("cut three-byte after one") << QByteArray("a\xe6") << QByteArray("a");
    QTest::newRow("cut three-byte after two") << QByteArray("a\xe6\x9d") << QByteArray("a");
    QTest::newRow("complete three-byte") << QByteArray("a\xe6\x9d\xb1") << QByteArray("a\xe6\x9d\xb1");
    QTest::newRow("cut four-byte") << QByteArray("a\xf0\x9f\x98") << QByteArray("a");
    QTest::newRow("stray continuation stays") << QByteArray("a\x80\x80\x80\x80") << QByteArray("a\x80\x80\x80\x80");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestServerProbe::withoutCutCharacter()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expected);
    QCOMPARE(::withoutCutCharacter(bytes), expected);
}

void TestServerProbe::isLoopbackHost_data()
{
    QTest::addColumn<std::optional<QString>>("host");
    QTest::addColumn<bool>("loopback");
    QTest::newRow("bracketed ipv6") << std::optional(u"[::1]"_s) << true;
    QTest::newRow("bare ipv6") << std::optional(u"::1"_s) << true;
    QTest::newRow("upper case") << std::optional(u"LOCALHOST"_s) << true;
    QTest::newRow("ipv4") << std::optional(u"127.0.0.1"_s) << true;
    QTest::newRow("other 127 address") << std::optional(u"127.0.0.2"_s) << false;
    QTest::newRow("wildcard") << std::optional(u"0.0.0.0"_s) << false;
    QTest::newRow("name ending in localhost") << std::optional(u"evil-localhost"_s) << false;
    QTest::newRow("subdomain") << std::optional(u"app.localhost"_s) << false;
    QTest::newRow("empty") << std::optional(QString()) << false;
    QTest::newRow("absent") << std::optional<QString>() << false;
}

void TestServerProbe::isLoopbackHost()
{
    QFETCH(std::optional<QString>, host);
    QFETCH(bool, loopback);
    QCOMPARE(::isLoopbackHost(host), loopback);
}

void TestServerProbe::loopbackServerURL_data()
{
    QTest::addColumn<QString>("bindAddress");
    QTest::addColumn<qint64>("port");
    QTest::addColumn<QString>("url");
    QTest::newRow("wildcard") << u"*"_s << qint64(3000) << u"http://localhost:3000"_s;
    QTest::newRow("any ipv4") << u"0.0.0.0"_s << qint64(80) << u"http://localhost:80"_s;
    QTest::newRow("any ipv6") << u"::"_s << qint64(5173) << u"http://localhost:5173"_s;
    QTest::newRow("ipv6 loopback") << u"::1"_s << qint64(5173) << u"http://[::1]:5173"_s;
    QTest::newRow("ipv4 loopback") << u"127.0.0.1"_s << qint64(8080) << u"http://127.0.0.1:8080"_s;
    QTest::newRow("localhost") << u"localhost"_s << qint64(4000) << u"http://localhost:4000"_s;
    QTest::newRow("upper-case localhost") << u"LOCALHOST"_s << qint64(8080) << u"http://localhost:8080"_s;
    QTest::newRow("exact comparison") << u"127.0.0.1 "_s << qint64(1) << u"http://localhost:1"_s;
}

void TestServerProbe::loopbackServerURL()
{
    QFETCH(QString, bindAddress);
    QFETCH(qint64, port);
    QFETCH(QString, url);
    const QUrl result = ::loopbackServerURL(bindAddress, port);
    QVERIFY(result.isValid());
    QCOMPARE(result.toString(), url);
}

void TestServerProbe::answers_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<ProbeResult>("expected");
    QTest::newRow("title over lines") << u"/dashboard"_s << answer(200, u"Dashboard"_s);
    QTest::newRow("no title") << u"/untitled"_s << answer(200, std::nullopt);
    QTest::newRow("not utf-8") << u"/latin1"_s << answer(200, std::nullopt);
    QTest::newRow("empty title") << u"/empty-title"_s << answer(200, QString());
    QTest::newRow("range honoured") << u"/partial"_s << answer(206, u"Partial"_s);
    QTest::newRow("not found is an answer") << u"/missing"_s << answer(404, u"Not found"_s);
    QTest::newRow("server error is an answer") << u"/broken"_s << answer(500, std::nullopt);
    QTest::newRow("unauthorised is an answer") << u"/locked"_s << answer(401, u"Sign in"_s);
    QTest::newRow("proxy authentication is an answer") << u"/proxy-locked"_s << answer(407, u"Proxy"_s);
    QTest::newRow("unsatisfiable range is an answer") << u"/unsatisfiable"_s << answer(416, u"Range"_s);
    QTest::newRow("unknown client error is an answer") << u"/teapot"_s << answer(418, u"Tea"_s);
    QTest::newRow("unavailable is an answer") << u"/unavailable"_s << answer(503, u"Later"_s);
}

void TestServerProbe::answers()
{
    QFETCH(QString, path);
    QFETCH(ProbeResult, expected);
    QCOMPARE(probe(url(path)), expected);
}

void TestServerProbe::asksForTheFirstBytesOnly()
{
    m_lastRange.clear();
    QCOMPARE(probe(url(u"/"_s)), answer(200, u"Home"_s));
    QCOMPARE(m_lastRange, QByteArray("bytes=0-65535"));
}

void TestServerProbe::readsNoMoreThanTheLimit()
{
    // The server ignores the range; the title after byte 65536 is never seen.
    QCOMPARE(probe(url(u"/late-title"_s)), answer(200, std::nullopt));
    QCOMPARE(probe(url(u"/dashboard"_s), relaxed, 30), answer(200, std::nullopt));
    QCOMPARE(probe(url(u"/dashboard"_s), relaxed, 4096), answer(200, u"Dashboard"_s));
}

void TestServerProbe::hugeBodyIsCutAtTheLimit()
{
    QCOMPARE(probe(url(u"/huge"_s)), answer(200, u"Huge"_s));
}

void TestServerProbe::cutInsideACharacterKeepsTheTitle()
{
    // Our own cut at the limit must not make the whole page undecodable.
    QCOMPARE(probe(url(u"/cut-character"_s)), answer(200, u"Grüße"_s));
}

void TestServerProbe::redirects_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<ProbeResult>("expected");
    QTest::newRow("to localhost") << u"/to-localhost"_s << answer(200, u"Login"_s);
    QTest::newRow("to [::1]") << u"/to-ipv6"_s << answer(200, u"IPv6 home"_s);
    QTest::newRow("relative") << u"/relative"_s << answer(200, u"Login"_s);
    QTest::newRow("two hops") << u"/twice"_s << answer(200, u"Login"_s);
    QTest::newRow("outside host not followed") << u"/outside"_s << answer(302, u"Moved"_s);
    QTest::newRow("other 127 address not followed") << u"/other-loopback"_s << answer(302, u"Not followed"_s);
    QTest::newRow("name ending in localhost not followed") << u"/suffix"_s << answer(302, u"Suffix"_s);
    QTest::newRow("other scheme not followed") << u"/file"_s << answer(302, u"File"_s);
    QTest::newRow("endless loop") << u"/loop"_s << ProbeResult{};
}

void TestServerProbe::redirects()
{
    QFETCH(QString, path);
    QFETCH(ProbeResult, expected);
    QCOMPARE(probe(url(path)), expected);
}

void TestServerProbe::nothingListening()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    QCOMPARE(probe(QUrl(u"http://127.0.0.1:%1/"_s.arg(port)), ServerProbeService::standardTimeout), ProbeResult{});
}

void TestServerProbe::serverThatNeverAnswers()
{
    // The connection is accepted by the kernel, but no byte ever comes back.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    QCOMPARE(probe(QUrl(u"http://127.0.0.1:%1/"_s.arg(silent.serverPort())), ServerProbeService::standardTimeout),
             ProbeResult{});
}

void TestServerProbe::bodyThatNeverEnds()
{
    // Headers and a title arrive, the body never ends: a partly read answer gives no status.
    NodeServer::Options options;
    options.handler = u"(req, res) => { res.writeHead(200, {'Content-Type': 'text/html'}); "
                      u"res.write('<title>Partial</title>'); }"_s;
    NodeServer server(options);
    QVERIFY2(server.start(), qPrintable(server.errorText()));
    QCOMPARE(probe(server.url(), ServerProbeService::standardTimeout), ProbeResult{});
}

void TestServerProbe::deadlineCoversTheWholeRedirectChain()
{
    // Every answer takes 0.4 s: each hop alone is inside 0.75 s, the chain of four is not.
    NodeServer::Options options;
    options.handler = u"(req, res) => { const next = {'/a': '/b', '/b': '/c', '/c': '/end'}[req.url]; "
                      u"setTimeout(() => { if (next) { res.writeHead(302, {Location: next}); res.end(); } "
                      u"else { res.writeHead(200, {'Content-Type': 'text/html'}); res.end('<title>End</title>'); } "
                      u"}, 400); }"_s;
    NodeServer server(options);
    QVERIFY2(server.start(), qPrintable(server.errorText()));
    QCOMPARE(probe(server.url(u"/a"_s)), answer(200, u"End"_s));
    QCOMPARE(probe(server.url(u"/a"_s), ServerProbeService::standardTimeout), ProbeResult{});
}

void TestServerProbe::environmentProxyIsNeverUsed()
{
    // A proxy that refuses everything, set for the whole application and in the environment.
    QTcpServer dead;
    QVERIFY(dead.listen(QHostAddress::LocalHost, 0));
    const quint16 deadPort = dead.serverPort();
    dead.close();
    const QByteArray proxyUrl = "http://127.0.0.1:" + QByteArray::number(deadPort);
    qputenv("http_proxy", proxyUrl);
    qputenv("HTTP_PROXY", proxyUrl);
    QNetworkProxyFactory::setApplicationProxyFactory(new DeadProxyFactory(deadPort));
    const ProbeResult result = probe(url(u"/"_s));
    QNetworkProxyFactory::setApplicationProxyFactory(nullptr);
    qunsetenv("http_proxy");
    qunsetenv("HTTP_PROXY");
    QCOMPARE(result, answer(200, u"Home"_s));
}

void TestServerProbe::hostilePeer_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("endless status line") << u"/status-line"_s;
    QTest::newRow("endless header") << u"/endless-header"_s;
    QTest::newRow("header of 4 MiB, then a page") << u"/huge-header"_s;
}

void TestServerProbe::hostilePeer()
{
    QFETCH(QString, path);
    NodeServer::Options options;
    options.script = hostileServerScript();
    NodeServer server(options);
    QVERIFY2(server.start(), qPrintable(server.errorText()));

    // No answer, and the connection is gone once the probe is: nothing goes on reading for as long as the peer
    // sends.
    QCOMPARE(probe(server.url(path), ServerProbeService::standardTimeout), ProbeResult{});
    QTRY_COMPARE(probe(server.url(u"/closed"_s)), answer(200, u"1"_s));
}

PORTHIVE_TEST_MAIN(TestServerProbe)
#include "tst_serverprobe.moc"
