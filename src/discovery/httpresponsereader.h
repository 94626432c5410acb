#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QtGlobal>

#include <optional>
#include <utility>

// Reads one HTTP/1.x response as its bytes arrive, within fixed limits, so that whatever a peer sends costs a
// bounded amount of memory: the status line and the headers together may take `headLimit` bytes (more fails the
// response), and the body is cut after `bodyLimit` bytes. Interim (1xx) responses are skipped. Bodies are read by
// their length, chunk by chunk, or up to the end of the connection. Pure: no I/O.
class HttpResponseReader
{
public:
    enum class State
    {
        Head,
        Body,
        // The whole response, or its body up to the limit, has been read.
        Complete,
        // Not HTTP, over a limit, or cut short by the peer.
        Failed
    };

    HttpResponseReader(qsizetype headLimit, qsizetype bodyLimit);

    // Takes the next bytes of the connection; bytes after the end of the response are ignored.
    State feed(QByteArrayView bytes);
    // The peer closed the connection: the end of a body read up to the close, a failure anywhere else.
    State finish();

    State state() const { return m_state; }
    // Valid once the head has been read.
    int statusCode() const { return m_statusCode; }
    // The first value of a header, white space trimmed; absent when the response had none.
    std::optional<QByteArray> header(QByteArrayView name) const;
    const QByteArray& body() const { return m_body; }
    // The body reached the limit before it ended.
    bool isBodyCut() const { return m_bodyCut; }

private:
    enum class Framing
    {
        None,
        Length,
        Chunked,
        UntilClose
    };
    enum class ChunkStep
    {
        Size,
        Data,
        DataEnd
    };

    void readHead(QByteArrayView& bytes);
    bool parseHead(QByteArrayView head);
    void readBody(QByteArrayView& bytes);
    void readChunked(QByteArrayView& bytes);
    // Takes one line (without its line end) of at most `limit` bytes from `bytes` into m_line; true once whole.
    bool takeLine(QByteArrayView& bytes, qsizetype limit);
    void appendBody(QByteArrayView bytes);
    void fail() { m_state = State::Failed; }
    void complete() { m_state = State::Complete; }

    const qsizetype m_headLimit;
    const qsizetype m_bodyLimit;
    State m_state = State::Head;
    // Head bytes of the current response, and all heads (interim ones included) read so far.
    QByteArray m_head;
    qsizetype m_headBytesUsed = 0;
    int m_statusCode = 0;
    QList<std::pair<QByteArray, QByteArray>> m_headers;
    Framing m_framing = Framing::None;
    qint64 m_remaining = 0;
    ChunkStep m_chunkStep = ChunkStep::Size;
    QByteArray m_line;
    QByteArray m_body;
    bool m_bodyCut = false;
};
