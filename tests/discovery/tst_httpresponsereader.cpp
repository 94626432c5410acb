#include "discovery/httpresponsereader.h"
#include "support/testhome.h"

#include <QTest>

using State = HttpResponseReader::State;

Q_DECLARE_METATYPE(HttpResponseReader::State)

namespace {

constexpr qsizetype headLimit = 256;
constexpr qsizetype bodyLimit = 16;

struct Outcome
{
    State state;
    int status = 0;
    QByteArray body;
    bool cut = false;
};

// Feeds the bytes in pieces of `step` (all at once for 0), then ends the connection when asked.
Outcome read(const QByteArray& bytes, qsizetype step, bool close)
{
    HttpResponseReader reader(headLimit, bodyLimit);
    if (step == 0) {
        reader.feed(bytes);
    } else {
        for (qsizetype at = 0; at < bytes.size(); at += step)
            reader.feed(QByteArrayView(bytes).sliced(at, std::min(step, bytes.size() - at)));
    }
    if (close)
        reader.finish();
    return {reader.state(), reader.statusCode(), reader.body(), reader.isBodyCut()};
}

} // namespace

class TestHttpResponseReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void responses_data();
    void responses();
    void headers();
};

void TestHttpResponseReader::responses_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("close");
    QTest::addColumn<State>("state");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("cut");

    QTest::newRow("length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello and more") << false
                            << State::Complete << 200 << QByteArray("hello") << false;
    QTest::newRow("length cut short by the peer") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhello")
                                                  << true << State::Failed << 200 << QByteArray("hello") << false;
    QTest::newRow("empty body") << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n") << false
                                << State::Complete << 404 << QByteArray() << false;
    QTest::newRow("no content") << QByteArray("HTTP/1.1 204 No Content\r\n\r\n") << false << State::Complete << 204
                                << QByteArray() << false;
    QTest::newRow("bare line feeds") << QByteArray("HTTP/1.0 200 OK\nContent-Length: 2\n\nok") << false
                                     << State::Complete << 200 << QByteArray("ok") << false;
    QTest::newRow("until close") << QByteArray("HTTP/1.0 200 OK\r\n\r\nall of it") << true << State::Complete << 200
                                 << QByteArray("all of it") << false;
    QTest::newRow("until close, still open") << QByteArray("HTTP/1.0 200 OK\r\n\r\nall of it") << false << State::Body
                                             << 200 << QByteArray("all of it") << false;
    QTest::newRow("chunked") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                           "3;x=y\r\nabc\r\nA\r\n0123456789\r\n0\r\nTrailer: t\r\n\r\n")
                             << false << State::Complete << 200 << QByteArray("abc0123456789") << false;
    QTest::newRow("chunked without its last chunk")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n") << true << State::Failed
        << 200 << QByteArray("abc") << false;
    QTest::newRow("chunk not followed by its line end")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcdef\r\n0\r\n\r\n") << false
        << State::Failed << 200 << QByteArray("abc") << false;
    QTest::newRow("chunk size that is no number")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n") << false << State::Failed << 200
        << QByteArray() << false;
    QTest::newRow("chunked wins over a length")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n")
        << false << State::Complete << 200 << QByteArray("ab") << false;
    QTest::newRow("body cut at the limit")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n0123456789abcdefXYZ") << false << State::Complete
        << 200 << QByteArray("0123456789abcdef") << true;
    QTest::newRow("chunked body cut at the limit")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n14\r\n0123456789abcdefghij\r\n") << false
        << State::Complete << 200 << QByteArray("0123456789abcdef") << true;
    QTest::newRow("interim answers skipped")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\n\r\n"
                      "HTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok")
        << false << State::Complete << 201 << QByteArray("ok") << false;
    QTest::newRow("two different lengths") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2, 3\r\n\r\nok") << false
                                           << State::Failed << 200 << QByteArray() << false;
    QTest::newRow("length that is no number") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: -2\r\n\r\nok") << false
                                              << State::Failed << 200 << QByteArray() << false;
    QTest::newRow("not http") << QByteArray("SSH-2.0-OpenSSH_9.2\r\n") << false << State::Failed << 0 << QByteArray()
                              << false;
    QTest::newRow("http/2 preface") << QByteArray("HTTP/2 200\r\n\r\n") << false << State::Failed << 0 << QByteArray()
                                    << false;
    QTest::newRow("status without three digits")
        << QByteArray("HTTP/1.1 20 OK\r\n\r\n") << false << State::Failed << 0 << QByteArray() << false;
    QTest::newRow("head over the limit") << QByteArray("HTTP/1.1 200 OK\r\nX-Long: " + QByteArray(300, 'a') +
                                                       "\r\n\r\n")
                                         << false << State::Failed << 0 << QByteArray() << false;
    QTest::newRow("endless status line") << QByteArray("HTTP/1.1 200 " + QByteArray(1000, 'a')) << false
                                         << State::Failed << 0 << QByteArray() << false;
    QTest::newRow("interim heads count against the limit")
        << QByteArray("HTTP/1.1 100 Continue\r\nX: " + QByteArray(120, 'a') +
                      "\r\n\r\nHTTP/1.1 200 OK\r\nX: " + QByteArray(120, 'a') + "\r\n\r\n")
        << false << State::Failed << 100 << QByteArray() << false;
    QTest::newRow("head cut short by the peer")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-") << true << State::Failed << 0 << QByteArray() << false;
    QTest::newRow("nothing at all") << QByteArray() << true << State::Failed << 0 << QByteArray() << false;
}

void TestHttpResponseReader::responses()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, close);
    QFETCH(State, state);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, cut);
    // However the bytes are split up on the way, the reader comes to the same end.
    for (const qsizetype step : {qsizetype(0), qsizetype(1), qsizetype(7)}) {
        const Outcome outcome = read(bytes, step, close);
        QCOMPARE(outcome.state, state);
        if (state != State::Failed || status != 0)
            QCOMPARE(outcome.status, status);
        QCOMPARE(outcome.body, body);
        QCOMPARE(outcome.cut, cut);
    }
}

void TestHttpResponseReader::headers()
{
    HttpResponseReader reader(headLimit, bodyLimit);
    reader.feed("HTTP/1.1 302 Found\r\nlocation:  /next \r\nX-Folded: one\r\n two\r\nLocation: /later\r\n"
                "Content-Length: 0\r\n\r\n");
    QCOMPARE(reader.state(), State::Complete);
    QCOMPARE(reader.header("Location"), std::optional<QByteArray>("/next"));
    QCOMPARE(reader.header("x-folded"), std::optional<QByteArray>("one two"));
    QCOMPARE(reader.header("Set-Cookie"), std::nullopt);
}

PORTHIVE_TEST_MAIN(TestHttpResponseReader)
#include "tst_httpresponsereader.moc"
