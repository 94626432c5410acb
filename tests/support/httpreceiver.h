#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QUrl>

#include <utility>

// One HTTP request as a receiver got it.
struct ReceivedRequest
{
    QByteArray method;
    QString path;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // The first header of that name (case-insensitive), empty when absent.
    QByteArray header(const QByteArray& name) const;
};

// An HTTP endpoint on 127.0.0.1 on a port the system picks, served from a thread of its own so that a client
// may block the test's thread while it waits for an answer. It records every request; it answers each with
// 200 and "{}", or, holding, never answers and counts the connections the client drops.
class HttpReceiver
{
public:
    enum class Mode
    {
        Answer,
        Hold
    };

    explicit HttpReceiver(Mode mode = Mode::Answer);
    ~HttpReceiver();

    bool isListening() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    // http://127.0.0.1:<port>
    QUrl baseUrl() const;

    QList<ReceivedRequest> requests() const;
    qsizetype requestCount() const;
    // Held connections that the client closed.
    int droppedConnections() const;

private:
    class Thread;
    friend class Thread;

    void record(ReceivedRequest request);
    void countDropped();

    const Mode m_mode;
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    QList<ReceivedRequest> m_requests;
    int m_dropped = 0;
    Thread* m_thread = nullptr;
};
