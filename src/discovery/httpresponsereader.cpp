#include "discovery/httpresponsereader.h"

#include <algorithm>

namespace {

// A chunk-size line is a few hex digits and perhaps an extension; nothing sane comes near this.
constexpr qsizetype chunkLineLimit = 4096;
// 15 hex digits stay well inside a qint64.
constexpr qsizetype chunkSizeDigits = 15;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && (isBlank(text[end - 1]) || text[end - 1] == '\r'))
        --end;
    return text.sliced(begin, end - begin);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "HTTP/1.x NNN" and, after a space, any reason; the status code, or 0 when the line is no status line.
int parseStatusLine(QByteArrayView line)
{
    static constexpr QByteArrayView prefix("HTTP/1.");
    if (!line.startsWith(prefix) || line.size() < prefix.size() + 5)
        return 0;
    qsizetype at = prefix.size();
    if (!isDigit(line[at]) || line[at + 1] != ' ')
        return 0;
    at += 2;
    if (!isDigit(line[at]) || !isDigit(line[at + 1]) || !isDigit(line[at + 2]))
        return 0;
    if (line.size() > at + 3 && line[at + 3] != ' ')
        return 0;
    return (line[at] - '0') * 100 + (line[at + 1] - '0') * 10 + (line[at + 2] - '0');
}

std::optional<qint64> parseLength(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<qint64> parseChunkSize(QByteArrayView line)
{
    const qsizetype extension = line.indexOf(';');
    const QByteArrayView digits = trimmed(extension < 0 ? line : line.first(extension));
    if (digits.isEmpty() || digits.size() > chunkSizeDigits)
        return std::nullopt;
    bool ok = false;
    const qint64 size = digits.toLongLong(&ok, 16);
    if (!ok || size < 0)
        return std::nullopt;
    return size;
}

} // namespace

HttpResponseReader::HttpResponseReader(qsizetype headLimit, qsizetype bodyLimit)
    : m_headLimit(headLimit)
    , m_bodyLimit(bodyLimit)
{}

std::optional<QByteArray> HttpResponseReader::header(QByteArrayView name) const
{
    for (const auto& [key, value] : m_headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

HttpResponseReader::State HttpResponseReader::feed(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && (m_state == State::Head || m_state == State::Body)) {
        if (m_state == State::Head)
            readHead(bytes);
        else
            readBody(bytes);
    }
    return m_state;
}

HttpResponseReader::State HttpResponseReader::finish()
{
    if (m_state == State::Head)
        fail();
    else if (m_state == State::Body)
        m_framing == Framing::UntilClose ? complete() : fail();
    return m_state;
}

void HttpResponseReader::readHead(QByteArrayView& bytes)
{
    const qsizetype known = m_head.size();
    const qsizetype room = m_headLimit - m_headBytesUsed - known;
    const qsizetype taken = std::min(bytes.size(), std::max<qsizetype>(room, 0));
    if (taken == 0) {
        fail();
        return;
    }
    m_head.append(bytes.first(taken));
    // Something that is not HTTP says so in its first bytes; no need to wait for a head that never ends.
    static constexpr QByteArrayView version("HTTP/");
    if (!m_head.startsWith(version.first(std::min(version.size(), m_head.size())))) {
        fail();
        return;
    }

    // The head ends with an empty line: a line feed followed by a line feed, or by a carriage return and one.
    qsizetype end = -1;
    for (qsizetype i = std::max<qsizetype>(0, known - 2); i < m_head.size(); ++i) {
        if (m_head[i] != '\n')
            continue;
        if (i + 1 < m_head.size() && m_head[i + 1] == '\n') {
            end = i + 2;
            break;
        }
        if (i + 2 < m_head.size() && m_head[i + 1] == '\r' && m_head[i + 2] == '\n') {
            end = i + 3;
            break;
        }
    }
    if (end < 0) {
        // Whatever is left over finds no room on the next round and fails the response.
        bytes = bytes.sliced(taken);
        return;
    }
    bytes = bytes.sliced(end - known);
    const QByteArray head = m_head.left(end);
    m_head.clear();
    m_headBytesUsed += head.size();
    if (!parseHead(head))
        fail();
}

bool HttpResponseReader::parseHead(QByteArrayView head)
{
    QList<QByteArrayView> lines;
    for (qsizetype start = 0; start < head.size();) {
        qsizetype end = head.indexOf('\n', start);
        if (end < 0)
            end = head.size();
        QByteArrayView line = head.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(line);
        start = end + 1;
    }
    if (lines.isEmpty())
        return false;
    m_statusCode = parseStatusLine(lines.first());
    if (m_statusCode < 100)
        return false;

    m_headers.clear();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArrayView line = lines.at(i);
        if (line.isEmpty())
            continue;
        if (isBlank(line[0])) {
            // A folded line continues the value before it.
            if (!m_headers.isEmpty())
                m_headers.last().second += ' ' + trimmed(line).toByteArray();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        m_headers.append({trimmed(line.first(colon)).toByteArray(), trimmed(line.sliced(colon + 1)).toByteArray()});
    }

    // Interim answers (100 Continue, 103 Early Hints) come before the real one.
    if (m_statusCode < 200 && m_statusCode != 101)
        return true;
    if (m_statusCode == 101 || m_statusCode == 204 || m_statusCode == 304) {
        complete();
        return true;
    }

    QByteArrayList codings;
    std::optional<qint64> length;
    for (const auto& [key, value] : std::as_const(m_headers)) {
        if (key.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            for (const QByteArray& coding : value.split(','))
                codings.append(trimmed(coding).toByteArray().toLower());
        } else if (key.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            for (const QByteArray& part : value.split(',')) {
                const std::optional<qint64> parsed = parseLength(trimmed(part));
                // Two different lengths leave the end of the body unknown.
                if (!parsed || (length && *length != *parsed))
                    return false;
                length = parsed;
            }
        }
    }
    m_state = State::Body;
    if (!codings.isEmpty()) {
        m_framing = codings.last() == "chunked" ? Framing::Chunked : Framing::UntilClose;
        m_chunkStep = ChunkStep::Size;
    } else if (length) {
        m_framing = Framing::Length;
        m_remaining = *length;
        if (m_remaining == 0)
            complete();
    } else {
        m_framing = Framing::UntilClose;
    }
    return true;
}

void HttpResponseReader::readBody(QByteArrayView& bytes)
{
    switch (m_framing) {
    case Framing::Length: {
        const qsizetype taken = qsizetype(std::min<qint64>(m_remaining, bytes.size()));
        appendBody(bytes.first(taken));
        bytes = bytes.sliced(taken);
        m_remaining -= taken;
        if (m_remaining == 0)
            complete();
        return;
    }
    case Framing::UntilClose:
        appendBody(bytes);
        bytes = {};
        return;
    case Framing::Chunked:
        readChunked(bytes);
        return;
    case Framing::None:
        complete();
        return;
    }
}

void HttpResponseReader::readChunked(QByteArrayView& bytes)
{
    switch (m_chunkStep) {
    case ChunkStep::Size: {
        if (!takeLine(bytes, chunkLineLimit))
            return;
        const std::optional<qint64> size = parseChunkSize(m_line);
        m_line.clear();
        if (!size) {
            fail();
        } else if (*size == 0) {
            // The last chunk: the body is whole; trailers add nothing the probe reads.
            complete();
        } else {
            m_remaining = *size;
            m_chunkStep = ChunkStep::Data;
        }
        return;
    }
    case ChunkStep::Data: {
        const qsizetype taken = qsizetype(std::min<qint64>(m_remaining, bytes.size()));
        appendBody(bytes.first(taken));
        bytes = bytes.sliced(taken);
        m_remaining -= taken;
        if (m_remaining == 0)
            m_chunkStep = ChunkStep::DataEnd;
        return;
    }
    case ChunkStep::DataEnd:
        if (!takeLine(bytes, 1))
            return;
        if (!m_line.isEmpty())
            fail();
        m_line.clear();
        m_chunkStep = ChunkStep::Size;
        return;
    }
}

bool HttpResponseReader::takeLine(QByteArrayView& bytes, qsizetype limit)
{
    const qsizetype end = bytes.indexOf('\n');
    const qsizetype taken = end < 0 ? bytes.size() : end;
    // Counted with a possible carriage return at its end.
    if (m_line.size() + taken > limit + 1) {
        fail();
        return false;
    }
    m_line.append(bytes.first(taken));
    if (end < 0) {
        bytes = {};
        return false;
    }
    bytes = bytes.sliced(end + 1);
    if (m_line.endsWith('\r'))
        m_line.chop(1);
    return true;
}

void HttpResponseReader::appendBody(QByteArrayView bytes)
{
    if (m_state != State::Body)
        return;
    const qsizetype room = m_bodyLimit - m_body.size();
    m_body.append(bytes.first(std::min(room, bytes.size())));
    if (m_body.size() >= m_bodyLimit) {
        m_bodyCut = true;
        complete();
    }
}
