#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QMetaType>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

// What one probe learnt: both fields absent when no HTTP answer came.
struct ProbeResult
{
    std::optional<qint64> statusCode;
    std::optional<QString> title;

    friend bool operator==(const ProbeResult&, const ProbeResult&) = default;
};

// Asks a candidate server for its first page with one short, bounded GET that never leaves the machine: a
// connection of its own per request to a loopback address with no proxy, one deadline over the whole probe
// (redirects included), at most `headLimit` bytes of status line and headers and `byteLimit` bytes of body read,
// redirects followed only to loopback hosts. Runs on the calling thread without blocking it and keeps no state
// between probes.
class ServerProbeService
{
public:
    static constexpr std::chrono::milliseconds standardTimeout{750};
    static constexpr qint64 standardByteLimit = 65536;
    // The status line and headers together; a longer head is no answer.
    static constexpr qint64 headLimit = 65536;
    // Redirects followed before the probe gives up.
    static constexpr int maxRedirects = 5;

    ServerProbeService(std::chrono::milliseconds timeout, qint64 byteLimit);
    virtual ~ServerProbeService() = default;

    std::chrono::milliseconds timeout() const { return m_timeout; }
    qint64 byteLimit() const { return m_byteLimit; }

    // Never fails: every failure is a result with both fields absent.
    virtual QCoro::Task<ProbeResult> probe(const QUrl& url) const;

private:
    static QCoro::Task<ProbeResult> runProbe(QUrl url, std::chrono::milliseconds timeout, qint64 byteLimit);

    std::chrono::milliseconds m_timeout;
    qint64 m_byteLimit;
};

// The first <title> element's text, line feeds made spaces and trimmed; absent for bytes that are not UTF-8 or
// hold no title element. Character references stay as they are.
std::optional<QString> extractPageTitle(const QByteArray& bytes);

// `bytes` without a UTF-8 sequence left incomplete at its end, as a read cut at a byte limit leaves it.
QByteArray withoutCutCharacter(const QByteArray& bytes);

// "http://" host ":" port: "127.0.0.1" and "[::1]" stay, every other address (wildcards included) is "localhost".
QUrl loopbackServerURL(const QString& bindAddress, qint64 port);

// Exactly "localhost", "127.0.0.1" or "::1", brackets and letter case aside.
bool isLoopbackHost(const std::optional<QString>& host);

Q_DECLARE_METATYPE(ProbeResult)
